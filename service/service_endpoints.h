#pragma once

#include <cstdint>
#include <string>

// Sent as the "version" form field of every service request and as the
// "ver" query field of the version check and the closing page.
inline constexpr int kServiceProtocolVersion = 100;

// Content type of every POST to the service.
inline constexpr char kFormContentType[] = "application/x-www-form-urlencoded";

// Paths on the service host.
inline constexpr char kMovieByHashPath[] = "/webService/downloadManager/get_movie_by_hash.php";
inline constexpr char kBestSubtitleByHashPath[] =
    "/webService/downloadManager/get_best_subtitle_by_hash.php";
inline constexpr char kSubtitlesByHashPath[] =
    "/webService/downloadManager/get_subtitles_by_hash.php";
inline constexpr char kSubtitleFilesPath[] = "/webService/downloadManager/get_subtitle_files.php";
inline constexpr char kVersionPath[] = "/webService/downloadManager/get_version.php";
inline constexpr char kClosingPagePath[] = "/webService/downloadManager/get_page.php";

// "http://" + service host + path (path and query, starting with "/").
std::string ServiceUrl(const std::string& pathAndQuery);

// The version check: GET, query "lang=es&ver=100".
std::string VersionCheckUrl();

// The closing page loaded by the embedded browser: query "ver=100".
std::string ClosingPageUrl();

// The film's poster at the root of the image host:
// "cover-" + film number + "-128-198.jpg".
std::string PosterUrl(int32_t filmNumber);
