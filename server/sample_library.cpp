#include "sample_library.h"

#include <jpeglib.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <unistd.h>

#include "file_fingerprint.h"
#include "server_text.h"

namespace fs = std::filesystem;

namespace {

struct SampleSubtitle {
  int video;
  int32_t language;
  const char* name;
  const char* date;
  int64_t uses;
  const char* fileName;
  const char* text;  // UTF-8 here, stored as Windows-1252
};

// Short subtitles written for the sample library.
const SampleSubtitle kSampleSubtitles[] = {
    {0, kSampleLanguage, "Película de Muestra 1 - Español (revisado)", "2024-03-15", 12,
     "pelicula-muestra-1.es.srt",
     "1\r\n00:00:01,000 --> 00:00:03,500\r\n¡Hola! Esta es la película de muestra.\r\n\r\n"
     "2\r\n00:00:04,000 --> 00:00:06,000\r\nLos subtítulos llegan junto al vídeo.\r\n\r\n"},
    {0, kSampleLanguage, "Película de Muestra 1 - Español latino", "2024-02-02", 7,
     "pelicula-muestra-1.latino.srt",
     "1\r\n00:00:01,000 --> 00:00:03,500\r\n¿Qué tal? Aquí empieza la función.\r\n\r\n"
     "2\r\n00:00:04,000 --> 00:00:06,000\r\nSiéntese y disfrute, compañero.\r\n\r\n"},
    {0, kSampleLanguage, "Película de Muestra 1 - Español para sordos", "2023-11-20", 3,
     "pelicula-muestra-1.sordos.srt",
     "1\r\n00:00:00,500 --> 00:00:02,000\r\n[MÚSICA SUAVE]\r\n\r\n"
     "2\r\n00:00:02,500 --> 00:00:05,000\r\nNARRADOR: Érase una vez una película pequeña.\r\n\r\n"},
    {0, 6, "Película de Muestra 1 - Castellano", "2023-10-01", 5, "pelicula-muestra-1.castellano.srt",
     "1\r\n00:00:01,000 --> 00:00:03,000\r\nBienvenidos a la sesión de esta noche.\r\n\r\n"},
    {1, kSampleLanguage, "Película de Muestra 2 - Español", "2024-04-01", 9,
     "pelicula-muestra-2.es.srt",
     "1\r\n00:00:01,000 --> 00:00:03,000\r\nSegunda parte: la aventura continúa.\r\n\r\n"
     "2\r\n00:00:03,500 --> 00:00:06,000\r\n¡Cuidado con el dragón, señorita!\r\n\r\n"},
    {1, kSampleLanguage, "Película de Muestra 2 - Español (traducción libre)", "2024-01-10", 2,
     "pelicula-muestra-2.libre.srt",
     "1\r\n00:00:01,000 --> 00:00:03,000\r\nY así siguió la historia, más o menos.\r\n\r\n"},
};

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::string SampleVideoBytes(int index) {
  // A RIFF header, then bytes of a fixed pseudo-random sequence: the two
  // videos differ in length and content, so their fingerprints differ.
  const size_t size = 200 * 1024 + 4099 * static_cast<size_t>(index + 1);
  std::string bytes = "RIFF";
  const uint32_t riffSize = static_cast<uint32_t>(size - 8);
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((riffSize >> (8 * i)) & 0xFF);
  bytes += "AVI LIST";
  uint32_t state = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
  while (bytes.size() < size) {
    state = state * 1664525u + 1013904223u;
    bytes += static_cast<char>(state >> 24);
  }
  return bytes;
}

std::string MakePosterJpeg() {
  constexpr int kWidth = 128, kHeight = 198;
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  errors.error_exit = [](j_common_ptr) { throw std::runtime_error("cannot encode the poster"); };
  jpeg_create_compress(&compress);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  std::string jpeg;
  try {
    jpeg_mem_dest(&compress, &out, &outSize);
    compress.image_width = kWidth;
    compress.image_height = kHeight;
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress);
    jpeg_set_quality(&compress, 85, TRUE);
    jpeg_start_compress(&compress, TRUE);
    std::string row(kWidth * 3, '\0');
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        // A night-blue gradient with a film strip down each side and a
        // golden disc, the sample film's "moon".
        int r = 20 + y / 4, g = 30 + y / 3, b = 90 + y / 2;
        const bool strip = x < 12 || x >= kWidth - 12;
        if (strip) r = g = b = ((y / 8) % 2 == 0 && (x % 12 > 3 && x % 12 < 9)) ? 230 : 15;
        const int dx = x - 64, dy = y - 70;
        if (!strip && dx * dx + dy * dy < 30 * 30) r = 240, g = 200, b = 60;
        row[3 * x] = static_cast<char>(r);
        row[3 * x + 1] = static_cast<char>(g);
        row[3 * x + 2] = static_cast<char>(b);
      }
      JSAMPROW pointer = reinterpret_cast<JSAMPROW>(row.data());
      jpeg_write_scanlines(&compress, &pointer, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg.assign(reinterpret_cast<char*>(out), outSize);
  } catch (...) {
    jpeg_destroy_compress(&compress);
    std::free(out);
    throw;
  }
  jpeg_destroy_compress(&compress);
  std::free(out);
  return jpeg;
}

void MakeSampleLibrary(SubtitleStore& store, const fs::path& samplesFolder) {
  fs::create_directories(samplesFolder);
  uint64_t fingerprints[2] = {};
  for (int i = 0; i < 2; ++i) {
    // Written under a name of this process's own, then put in place whole:
    // several processes may make the library in one folder at once, and none
    // may read a video another is still writing.
    const fs::path video = samplesFolder / kSampleVideoNames[i];
    fs::path part = video;
    part += ".part-" + std::to_string(getpid());
    WriteFile(part, SampleVideoBytes(i));
    fingerprints[i] = FingerprintOfFile(part);
    fs::rename(part, video);
  }
  Film film{kSampleFilmNumber, "Película de Muestra", MakePosterJpeg()};
  std::vector<StoredSubtitle> subtitles;
  for (const SampleSubtitle& sample : kSampleSubtitles) {
    StoredSubtitle subtitle;
    subtitle.fingerprint = fingerprints[sample.video];
    subtitle.language = sample.language;
    subtitle.film = kSampleFilmNumber;
    subtitle.name = sample.name;
    subtitle.date = sample.date;
    subtitle.uses = sample.uses;
    subtitle.fileName = sample.fileName;
    subtitle.bytes = Utf8ToWindows1252(sample.text).value();
    subtitles.push_back(subtitle);
  }
  store.AddLibrary({film}, subtitles);
}
