// Writes the starting corpora of the wizard's fuzzers under each folder
// given: reply_fuzzer/ gets the replies of a working service to each
// exchange (as subtitle-server writes them, and in the other encodings a
// service may use), run_request_fuzzer/ the command lines the Explorer
// extension starts the wizard with, in UTF-16 (little-endian).
#include <filesystem>
#include <fstream>
#include <string>

#include "reply_input.h"

namespace fs = std::filesystem;

namespace {

const char kDeclaration[] = "<?xml version=\"1.0\"?>";

std::string Record(const char* id, const char* name, const char* date) {
  return std::string("<subtitle><id>") + id + "</id><name>" + name + "</name><date>" + date +
         "</date><uses>MQ==</uses></subtitle>";
}

// The same text as UTF-16 (little-endian) with its byte-order mark: the
// ASCII replies only.
std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

void WriteReplySeeds(const fs::path& folder) {
  fs::create_directories(folder);
  int n = 0;
  auto write = [&](ReplyExchange exchange, uint8_t choices, const std::string& reply) {
    std::ofstream out(folder / ("reply-" + std::to_string(++n)), std::ios::binary);
    out.put(static_cast<char>(exchange)).put(static_cast<char>(choices)) << reply;
  };
  const std::string records = Record("MQ==", "RXNwYfFvbA==", "MjAxMy0wNS0wMQ==") +
                              Record("Mg==", "U3ViIDI=", "MjAxMy0wNS0wMg==") +
                              Record("MTI=", "RXNwYfFvbCAocmV2aXNhZG8p", "MjAxMy0wNS0xMg==");
  const std::string list = std::string(kDeclaration) + "<subtitles>" + records + "</subtitles>";
  write(ReplyExchange::SubtitleList, 0x02, list);
  write(ReplyExchange::SubtitleList, 0xFE, list);
  write(ReplyExchange::SubtitleList, 0x0A, Utf16(list));
  write(ReplyExchange::SubtitleList, 0x02, std::string(kDeclaration) + "<subtitles></subtitles>");
  write(ReplyExchange::SubtitleList, 0x06,
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<subtitles>\r\n"
        "  <subtitle><id>MQ==</id><name>RXNwYfFvbA==</name></subtitle>\r\n"
        "  <subtitle><id>Mg==</id><name><![CDATA[U3ViIDI=]]></name></subtitle>\r\n"
        "</subtitles>");

  const std::string movie = std::string(kDeclaration) +
                            "<movie><name>U2FtcGxlIEZpbG0gMQ==</name><id>MTAwMQ==</id></movie>";
  write(ReplyExchange::FilmLookup, 0x02, movie);
  write(ReplyExchange::FilmLookup, 0x02, Utf16(movie));
  write(ReplyExchange::FilmLookup, 0x02, std::string(kDeclaration) + "<movie></movie>");
  write(ReplyExchange::FilmLookup, 0x06,
        "\xEF\xBB\xBF<movie><name>TWkgUGVs7WN1bGE=</name><id>Nw==</id></movie>");

  const std::string best =
      std::string(kDeclaration) + Record("MTI=", "RXNwYfFvbA==", "MjAxMy0wNS0wMQ==");
  write(ReplyExchange::BestSubtitle, 0, best);
  write(ReplyExchange::BestSubtitle, 0, Utf16(best));
  write(ReplyExchange::BestSubtitle, 0, std::string(kDeclaration) + "<subtitle></subtitle>");
  write(ReplyExchange::BestSubtitle, 0,
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><subtitle><id>MTI=</id>"
        "<date>MjAxMy0wNS0wMQ==</date></subtitle>");

  write(ReplyExchange::VersionCheck, kAnswerYesBit, "");
  write(ReplyExchange::VersionCheck, kAnswerYesBit, "http://127.0.0.1:47801/descargas/nueva");
  write(ReplyExchange::VersionCheck, 0, "HTTPS://subs.example.org/setup.exe");
  write(ReplyExchange::VersionCheck, kAnswerYesBit, "file:///C:/Windows/System32/calc.exe");
  write(ReplyExchange::VersionCheck, kAnswerYesBit, "\\\\servidor\\compartido\\setup.exe");
}

void WriteCommandLineSeeds(const fs::path& folder) {
  fs::create_directories(folder);
  const std::wstring lines[] = {
      L"\"C:\\Program Files\\Morvane\\morvane.exe\" 0123456789abcdef "
      L"C:\\Users\\Ana\\Mis*Vídeos\\La*Película.avi 42 top",
      L"\"C:\\Program Files\\Morvane\\morvane.exe\" fedcba9876543210 "
      L"D:\\Películas\\Sample*Film*1.avi 42 melhor",
      L"morvane.exe 0123456789abcdef \\\\servidor\\vídeos\\serie.mkv 42 melhor",
      L"morvane.exe 0123456789abcdef \"C:\\a b\\c.avi\" -2147483648 top",
      L"morvane.exe",
      L"morvane.exe \"\" \"\" 2147483648 Top",
      L"morvane.exe\t0123456789abcdef\tC:Film.avi\t+7\ttop ",
  };
  int n = 0;
  for (const std::wstring& line : lines) {
    std::ofstream out(folder / ("command-line-" + std::to_string(++n)), std::ios::binary);
    for (wchar_t unit : line) {
      out.put(static_cast<char>(unit & 0xFF)).put(static_cast<char>((unit >> 8) & 0xFF));
    }
  }
}

}  // namespace

// Each argument is a corpus root.
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 1; i < argc; ++i) {
    WriteReplySeeds(fs::path(argv[i]) / "reply_fuzzer");
    WriteCommandLineSeeds(fs::path(argv[i]) / "run_request_fuzzer");
  }
  return 0;
}
