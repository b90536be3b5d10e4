// knapack: packs files into a Kiln Engine Archive, lists one, or takes an entry out of one.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "KNArc/KNArc.h"
#include "knapack/ArchiveWriter.h"
#include "platform/rtl/Classes.h"
#include "platform/win/CodePage.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: knapack pack [--bpe|--stored] ARCHIVE [FILE|FOLDER]...\n"
    "       knapack list ARCHIVE\n"
    "       knapack extract ARCHIVE ID OUT\n"
    "\n"
    "pack     writes ARCHIVE (replacing it) with one entry per FILE, in the order given\n"
    "         (no FILE: an archive with an empty directory).\n"
    "         A FOLDER adds the regular files directly inside it, sorted by name\n"
    "         (sub-folders are not entered).\n"
    "         --bpe     byte-pair encode every entry (the default)\n"
    "         --stored  store every entry as it is\n"
    "         The ID of an entry is the base name of its file (\"Data/ship.bmp\" -> \"ship.bmp\").\n"
    "         The game looks IDs up without regard to letter case, so two files whose\n"
    "         names differ only in case, or with the same name in two folders, are refused.\n"
    "         IDs are written in the Japanese ANSI code page (Shift-JIS), at most 255 bytes.\n"
    "list     prints the archive's mode and, per entry, its size, packed size, offset and ID.\n"
    "extract  writes the entry with the ID (letter case ignored) to the file OUT.\n"
    "\n"
    "Exit status: 0 on success, 1 on an error, 2 on a usage error.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

void AddFile(const fs::path& path, std::vector<knapack::ArchiveItem>& items) {
  rtl::TMemoryStream data;
  data.LoadFromFile(path.string());
  items.push_back({path.filename().string(), data.Bytes()});
}

int Pack(const std::vector<std::string>& args) {
  knapack::ArchiveMode mode = knapack::ArchiveMode::BytePair;
  size_t i = 0;
  for (; i < args.size() && args[i].starts_with("--"); ++i) {
    if (args[i] == "--bpe")
      mode = knapack::ArchiveMode::BytePair;
    else if (args[i] == "--stored")
      mode = knapack::ArchiveMode::Stored;
    else
      return Usage();
  }
  if (i == args.size()) return Usage();
  const std::string archive = args[i++];

  std::vector<knapack::ArchiveItem> items;
  for (; i < args.size(); ++i) {
    const fs::path path(args[i]);
    if (fs::is_directory(path)) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(path))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto& file : files) AddFile(file, items);
    } else {
      AddFile(path, items);
    }
  }
  const std::vector<uint8_t> bytes = knapack::BuildArchive(items, mode);
  rtl::TFileStream out(archive, rtl::fmCreate);
  out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return 0;
}

int List(const std::string& archive) {
  rtl::TFileStream file(archive, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  ArchiveHeader header;
  const std::vector<ArchiveDirEntry> entries = ArchiveReadDirectory(file, header);
  const bool packed = header.Compression == ArchiveCompressed;
  std::printf("KNA0 archive, %s, %zu entries\n", packed ? "byte-pair encoded" : "stored", entries.size());
  std::printf("%10s %10s %10s  %s\n", "size", "packed", "offset", "ID");
  for (const ArchiveDirEntry& e : entries) {
    std::printf("%10u %10u %10u  %s\n", e.UnpackedSize, packed ? e.PackedSize : e.UnpackedSize, e.Offset,
                win::AnsiToUtf8(e.ID).c_str());
  }
  return 0;
}

int Extract(const std::string& archive, const std::string& id, const std::string& outName) {
  std::unique_ptr<rtl::TMemoryStream> item = ArchiveReadFile(archive, id);
  item->SaveToFile(outName);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (args.empty()) return Usage();
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (command == "pack") return Pack({args.begin() + 1, args.end()});
    if (command == "list" && args.size() == 2) return List(args[1]);
    if (command == "extract" && args.size() == 4) return Extract(args[1], args[2], args[3]);
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "knapack: %s\n", e.what());
    return 1;
  }
}
