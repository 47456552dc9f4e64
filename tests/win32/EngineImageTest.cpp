#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "PhotoShopMain.h"
#include "TestFiles.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The built conversion-engine.exe as a file: what a Windows machine without
// any developer tools needs to run it, and what it tells about itself.

namespace {

std::string EnginePath() { return testing_win32::ToWindowsPath(ENGINE_EXE); }

// The executable's bytes with a bounds-checked view of its PE headers.
class PortableExecutable {
 public:
  explicit PortableExecutable(const std::string& path)
      : bytes_(testing_win32::ReadBytes(path).value_or("")) {
    if (bytes_.size() < sizeof(IMAGE_DOS_HEADER)) return;
    const auto* dos = At<IMAGE_DOS_HEADER>(0);
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    nt_ = At<IMAGE_NT_HEADERS64>(static_cast<std::size_t>(dos->e_lfanew));
    if (nt_ != nullptr && nt_->Signature != IMAGE_NT_SIGNATURE) nt_ = nullptr;
  }

  const IMAGE_NT_HEADERS64* headers() const { return nt_; }

  // Names of the DLLs the loader must find for the program to start.
  std::vector<std::string> ImportedDlls() const {
    std::vector<std::string> names;
    const auto& dir = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::size_t offset = FileOffset(dir.VirtualAddress);
    for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(offset);
      if (entry == nullptr || entry->Name == 0) break;
      const std::size_t name = FileOffset(entry->Name);
      if (name == 0 || name >= bytes_.size()) break;
      names.emplace_back(bytes_.c_str() + name);
    }
    return names;
  }

 private:
  template <typename T>
  const T* At(std::size_t offset) const {
    if (offset + sizeof(T) > bytes_.size()) return nullptr;
    return reinterpret_cast<const T*>(bytes_.data() + offset);
  }

  std::size_t FileOffset(DWORD rva) const {
    const auto* section = IMAGE_FIRST_SECTION(nt_);
    for (WORD i = 0; i < nt_->FileHeader.NumberOfSections; ++i, ++section) {
      if (reinterpret_cast<const char*>(section + 1) > bytes_.data() + bytes_.size()) break;
      if (rva >= section->VirtualAddress &&
          rva < section->VirtualAddress + section->Misc.VirtualSize) {
        return rva - section->VirtualAddress + section->PointerToRawData;
      }
    }
    return 0;
  }

  std::string bytes_;
  const IMAGE_NT_HEADERS64* nt_ = nullptr;
};

TEST(EngineImage, IsAWindowless64BitProgram) {
  PortableExecutable image(EnginePath());
  ASSERT_NE(image.headers(), nullptr) << EnginePath() << " is no PE executable";
  EXPECT_EQ(image.headers()->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
  EXPECT_EQ(image.headers()->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  // The GUI subsystem: a host that starts it gets no console window.
  EXPECT_EQ(image.headers()->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

// Linked statically: every DLL it imports is one that Windows itself ships in
// its system folder, none of the compiler's runtime DLLs.
TEST(EngineImage, ImportsOnlySystemDlls) {
  PortableExecutable image(EnginePath());
  ASSERT_NE(image.headers(), nullptr);
  const std::vector<std::string> dlls = image.ImportedDlls();
  ASSERT_FALSE(dlls.empty());
  char system[MAX_PATH + 1] = {};
  ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
  for (const std::string& dll : dlls) {
    SCOPED_TRACE(dll);
    EXPECT_NE(_strnicmp(dll.c_str(), "lib", 3), 0) << "a compiler runtime DLL";
    EXPECT_TRUE(testing_win32::Exists(std::string(system) + "\\" + dll)) << "not in " << system;
  }
}

std::string VersionString(const std::vector<char>& info, const char* name) {
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  UINT size = 0;
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &size) ||
      size < sizeof(Translation)) {
    return "<no translation>";
  }
  char key[128];
  snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", translation->language,
           translation->codePage, name);
  char* value = nullptr;
  if (!VerQueryValueA(info.data(), key, reinterpret_cast<void**>(&value), &size) ||
      value == nullptr) {
    return "<missing>";
  }
  return std::string(value);
}

TEST(EngineImage, VersionResourceCarriesVersionAndTitle) {
  const std::string path = EnginePath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  ASSERT_NE(fixed, nullptr);
  // 8,0,0,1 in both numeric versions, the same as the version query answers.
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00080000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00080000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

  EXPECT_EQ(VersionString(info, "FileVersion"), "8.0.0.1");
  EXPECT_EQ(VersionString(info, "ProductVersion"), "8.0.0.1");
  EXPECT_EQ(VersionString(info, "FileDescription"), engine::kApplicationTitle);
  EXPECT_EQ(VersionString(info, "ProductName"), engine::kApplicationTitle);
}

}  // namespace
