#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "subtitle_store.h"

// The file names of the sample videos, written into the samples folder.
inline constexpr const char* kSampleVideoNames[] = {"Sample Film 1.avi", "Sample Film 2.avi"};
inline constexpr int64_t kSampleFilmNumber = 1001;
inline constexpr int32_t kSampleLanguage = 42;  // what the Explorer extension passes

// The bytes of sample video `index` (0 or 1): deterministic, over 128 KiB.
std::string SampleVideoBytes(int index);

// A poster of 128 x 198 pixels, as JPEG, drawn by the program.
std::string MakePosterJpeg();

// Writes the sample videos into `samplesFolder` (made if missing) and adds
// the sample film with its poster and Spanish subtitles for both videos,
// all in one transaction.
void MakeSampleLibrary(SubtitleStore& store, const std::filesystem::path& samplesFolder);
