#include "video_extensions.h"

const std::array<std::string_view, kVideoExtensionCount> VideoExtensions = {
    "3g2",  "3gp",  "3gp2",  "3gpp",  "60d",  "ajp",   "asf",  "asx",   "avchd", "avi",
    "bik",  "bix",  "box",   "cam",   "dat",  "divx",  "dmf",  "dv",    "dvr-ms", "evo",
    "flc",  "fli",  "flic",  "flv",   "flx",  "gvi",   "gvp",  "h264",  "m1v",   "m2p",
    "m2ts", "m2v",  "m4e",   "m4v",   "mjp",  "mjpeg", "mjpg", "mkv",   "moov",  "mov",
    "movhd", "movie", "movx", "mp4",  "mpe",  "mpeg",  "mpg",  "mpv",   "mpv2",  "mxf",
    "nsv",  "nut",  "ogg",   "ogm",   "omf",  "ps",    "qt",   "ram",   "rm",    "rmvb",
    "swf",  "ts",   "vfw",   "vid",   "video", "viv",  "vivo", "vob",   "vro",   "wm",
    "wmv",  "wmx",  "wrap",  "wvx",   "wx",   "x264",  "xvid",
};

bool HasVideoExtension(const std::wstring& path) {
  // The 8-bit form of the path: each unit keeps its low byte.
  std::string narrow(path.size(), '\0');
  for (std::size_t i = 0; i < path.size(); ++i) {
    narrow[i] = static_cast<char>(static_cast<unsigned long>(path[i]) & 0xFF);
  }
  const std::size_t dot = narrow.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = narrow.substr(dot + 1);
  for (char& byte : extension) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  for (const std::string_view entry : VideoExtensions) {
    if (entry == extension) return true;
  }
  return false;
}
