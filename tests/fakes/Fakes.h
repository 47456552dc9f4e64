#pragma once

// In-memory fakes of the platform services that record what the logic asks of
// them, so that the logic runs in tests as it does over a real platform.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "EngineError.h"
#include "EngineState.h"
#include "HostProtocol.h"
#include "Journal.h"

namespace engine::testing {

class FakeConsole : public Console {
 public:
  void Write(std::string_view bytes) override {
    writes.emplace_back(bytes);
    output.append(bytes);
  }
  std::string output;               // everything written, in order
  std::vector<std::string> writes;  // one entry per write call
};

/// Files and folders in memory, under paths compared exactly as given.
class FakeFileSystem : public FileSystem {
 public:
  struct Entry {
    std::string content;
    std::uint32_t attributes = kAttributeNormal;
  };

  void AddFile(const std::string& path, std::string content,
               std::uint32_t attributes = kAttributeNormal) {
    files[path] = Entry{std::move(content), attributes};
  }
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  const std::string& Content(const std::string& path) const { return files.at(path).content; }
  std::string ContentOr(const std::string& path, const char* none = "<none>") const {
    return Exists(path) ? Content(path) : none;
  }

  std::uint32_t GetAttributes(const std::string& path) override {
    return Find("GetFileAttributes", path).attributes;
  }
  void DeleteFile(const std::string& path) override {
    if (Find("DeleteFile", path).attributes & kRefusesWrites) Fail("DeleteFile", path);
    files.erase(path);
  }
  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override {
    opened.push_back(path);
    const Entry& file = Find("CreateFile", path);
    return std::make_unique<File>(file.content, (file.attributes & kAttributeDirectory) != 0,
                                  readChunk);
  }
  void WriteNewFile(const std::string& path, std::string_view data) override {
    CheckWritable(path);
    files[path].content.assign(data);
  }
  void AppendToFile(const std::string& path, std::string_view data, bool shared) override {
    CheckWritable(path);
    sharedAppend[path] = shared;
    files[path].content.append(data);
  }
  std::string LocalTimestamp() override { return "06.12.2026 19:34:00"; }

  std::map<std::string, Entry> files;
  std::set<std::string> unwritable;  // paths that can't be created or written
  std::vector<std::string> opened;   // every OpenForReading call
  std::map<std::string, bool> sharedAppend;  // path -> whether its last append was shared
  std::size_t readChunk = 7;  // small reads exercise the reader's refills

 private:
  static constexpr std::uint32_t kRefusesWrites = kAttributeReadOnly | kAttributeDirectory;

  class File : public ReadableFile {
   public:
    File(std::string content, bool directory, std::size_t chunk)
        : content_(std::move(content)), directory_(directory), chunk_(chunk) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      if (directory_) throw EngineError("ReadFile: Access is denied.");
      const std::size_t n = std::min({size, chunk_, content_.size() - pos_});
      pos_ += content_.copy(buffer, n, pos_);
      return n;
    }

   private:
    std::string content_;
    bool directory_;
    std::size_t chunk_, pos_ = 0;
  };

  [[noreturn]] static void Fail(const char* call, const std::string& path) {
    throw EngineError(std::string(call) + "(" + path + "): fake failure");
  }
  Entry& Find(const char* call, const std::string& path) {
    auto it = files.find(path);
    if (it == files.end()) Fail(call, path);
    return it->second;
  }
  void CheckWritable(const std::string& path) {
    auto it = files.find(path);
    if (path.empty() || unwritable.count(path) ||
        (it != files.end() && (it->second.attributes & kRefusesWrites))) {
      Fail("CreateFile", path);
    }
  }
};

class FakeMessageBox : public MessageBox {
 public:
  void ShowFatal(const std::string& caption, const std::string& text) override {
    shown.push_back({caption, text});
  }
  bool CanBeSeen() override { return visible; }
  std::vector<std::pair<std::string, std::string>> shown;  // caption, text
  bool visible = true;  // false: a window station nobody sees
};

/// Single-byte characters; a test sets the engine's own characters instead.
class FakeCodePage : public CodePage {
 public:
  AnsiCharacters Characters() override { return {}; }
};

/// Code page 932's characters: lead bytes 0x81-0x9F and 0xE0-0xFC, whose second
/// byte may be "@" (0x40) or "\" (0x5C), as in "表" (0x95 0x5C).
inline AnsiCharacters DoubleByte932() {
  AnsiCharacters c;
  c.kind = AnsiCharacters::Kind::DoubleByte;
  for (int b = 0x81; b <= 0xFC; ++b) c.leadByte[b] = b <= 0x9F || b >= 0xE0;
  return c;
}

inline const AnsiCharacters kUtf8{AnsiCharacters::Kind::Utf8, {}};

/// |n| copies of |character| (a double-byte one, say) in a row.
inline std::string Repeated(const std::string& character, std::size_t n) {
  std::string text;
  while (n-- > 0) text += character;
  return text;
}

/// The description of the failure that |action| throws, or "no failure".
inline std::string FailureOf(const std::function<void()>& action) try {
  action();
  return "no failure";
} catch (const EngineError& failure) {
  return failure.Description();
}

/// All that |file| holds, read through the port in pieces of 5 bytes.
inline std::string ReadAll(ReadableFile& file) {
  std::string read;
  char buffer[5];
  for (std::size_t n; (n = file.Read(buffer, sizeof buffer)) > 0;) read.append(buffer, n);
  return read;
}

/// A process table for the census, recording the calls whose arguments matter.
class FakeProcesses : public Processes {
 public:
  struct Process {
    std::uint32_t pid;
    std::string path;
    bool canOpen = true;
    bool canEnumModules = true;
  };

  std::string CommandText() override { return commandText; }
  bool EnumProcesses(std::uint32_t* pids, std::uint32_t bufferBytes,
                     std::uint32_t* returnedBytes) override {
    enumBufferSizes.push_back(bufferBytes);
    // The census enumerates before it opens anything: index the table here, so
    // that a benchmark over thousands of processes times the census, not the fake.
    byPid_.clear();
    for (std::size_t i = 0; i < processes.size(); ++i) byPid_.emplace(processes[i].pid, i);
    const std::size_t n = std::min<std::size_t>(bufferBytes / 4, processes.size());
    for (std::size_t i = 0; i < n; ++i) pids[i] = processes[i].pid;
    *returnedBytes = static_cast<std::uint32_t>(n * 4);
    return true;
  }
  // The handle of processes[i] is 100 + i.
  ProcessHandle OpenProcess(std::uint32_t access, bool inheritHandle, std::uint32_t pid) override {
    openCalls.push_back({access, inheritHandle});
    const auto it = byPid_.find(pid);
    if (it == byPid_.end() || !processes[it->second].canOpen) return 0;
    return *openHandles.insert(100 + it->second).first;
  }
  bool EnumProcessModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bufferBytes,
                          std::uint32_t* neededBytes) override {
    moduleBufferSizes.push_back(bufferBytes);
    const Process* p = Opened(process);
    if (p == nullptr || !p->canEnumModules) return false;
    modules[0] = 0x400000;
    *neededBytes = sizeof(ModuleHandle);
    return true;
  }
  std::uint32_t GetModuleFileNameEx(ProcessHandle process, ModuleHandle module, char* name,
                                    std::uint32_t size) override {
    nameBufferSizes.push_back(size);
    const Process* p = Opened(process);
    if (p == nullptr || module != 0x400000 || size == 0) return 0;
    const std::size_t n = std::min<std::size_t>(p->path.size(), size - 1);
    std::memcpy(name, p->path.data(), n);
    name[n] = '\0';
    return static_cast<std::uint32_t>(n);
  }
  void CloseHandle(ProcessHandle process) override { badCloses += openHandles.erase(process) == 0; }

  std::string commandText;
  std::vector<Process> processes;
  std::vector<std::uint32_t> enumBufferSizes, moduleBufferSizes, nameBufferSizes;
  std::vector<std::pair<std::uint32_t, bool>> openCalls;  // access, inheritable
  std::set<ProcessHandle> openHandles;                    // while open
  int badCloses = 0;  // closes of handles that weren't open

 private:
  std::unordered_map<std::uint32_t, std::size_t> byPid_;  // pid -> index in processes

  const Process* Opened(ProcessHandle h) const {
    return openHandles.count(h) ? &processes[h - 100] : nullptr;
  }
};

/// An automation runtime whose one object journals every call as a line in the
/// stand-in application's spelling, without its process id: "PUT DisplayDialogs
/// VT_I2 3", or ScriptCall(...) (arrays with their bounds, so that one empty
/// element and none differ).
class FakeAutomation : public Automation {
 public:
  std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override {
    Record("CREATE " + progId, "CREATE");
    return std::make_unique<Object>(*this);
  }

  std::vector<std::string> journal;
  std::map<std::string, std::string> failures;  // "CREATE" or a member -> description

 private:
  static std::string Describe(const AutomationArg& a) {
    const std::string ref = a.byRef ? "|VT_BYREF " : " ";
    std::string array = "VT_ARRAY|VT_VARIANT" + ref + "[0.." + std::to_string(int(a.array.size()) - 1) + "] {";
    switch (a.type) {
      case AutomationArg::Type::Int16: return "VT_I2" + ref + std::to_string(a.int16);
      case AutomationArg::Type::Boolean: return "VT_BOOL" + ref + (a.boolean ? "-1" : "0");
      case AutomationArg::Type::Text: return "VT_BSTR" + ref + '"' + a.text + '"';
      case AutomationArg::Type::TextArray: break;
    }
    for (std::size_t i = 0; i < a.array.size(); ++i) array += (i ? ", " : "") + Describe(AutomationArg::Text(a.array[i]));
    return array + "}";
  }
  void Record(const std::string& line, const std::string& what) {
    journal.push_back(line);
    if (auto it = failures.find(what); it != failures.end()) throw EngineError(it->second);
  }

  class Object : public AutomationObject {
   public:
    explicit Object(FakeAutomation& owner) : owner_(owner) {}
    ~Object() override { owner_.journal.push_back("RELEASE"); }
    void SetProperty(const std::string& name, const AutomationArg& value) override {
      owner_.Record("PUT " + name + " " + Describe(value), name);
    }
    void CallMethod(const std::string& name, const std::vector<AutomationArg>& args,
                    std::string* result) override {
      std::string line = "CALL " + name;
      for (std::size_t i = 0; i < args.size(); ++i) line += (i ? " ; " : " ") + Describe(args[i]);
      owner_.Record(line, name);
      // A script's own result, which the engine has no use for.
      if (result != nullptr) *result = "Error: the script's result";
    }

   private:
    FakeAutomation& owner_;
  };
};

inline const std::string kRequestStart = std::string(protocol::kSectionLine) + "\n";

/// The result data file written for a request that can't be parsed, every byte.
inline const std::string kUnparsableResultFile =
    "@Properties LocalData\r\nStatusMsg=finished\r\nOutExtension=\r\n"
      "OutFormat=application/x-unknown\r\nResultFilePath=<Not Converted>\r\n"
      "LastErrorDescription=Conversion engine unable to parse input data\r\n"
      "ErrorStatusCode=-3\r\nAdditionalData=\r\n@end\r\n";

struct FakeEngine {
  FakeConsole console;
  FakeFileSystem fs;
  FakeMessageBox box;
  FakeProcesses processes;
  FakeAutomation automation;
  FakeCodePage codePage;
  Engine engine{Platform{console, fs, box, processes, automation, codePage}};
  EngineState& state = engine.state;
};

}  // namespace engine::testing
