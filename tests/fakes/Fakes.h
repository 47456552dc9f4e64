#pragma once

// In-memory, recording fakes of the platform services, so that the logic runs
// in tests exactly as it does over a real platform.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EngineError.h"
#include "EngineState.h"

namespace engine::testing {

class FakeConsole : public Console {
 public:
  void Write(std::string_view bytes) override {
    if (failAfterWrites >= 0 && writes.size() >= static_cast<std::size_t>(failAfterWrites)) return;
    writes.emplace_back(bytes);
    output.append(bytes);
  }

  std::string output;               // everything written, in order
  std::vector<std::string> writes;  // one entry per write call
  int failAfterWrites = -1;         // >= 0: writes after that many are lost
};

/// Files and folders in memory. Paths compare exactly as given.
class FakeFileSystem : public FileSystem {
 public:
  struct Entry {
    std::string content;
    std::uint32_t attributes = 128;  // a plain file
  };

  void AddFile(const std::string& path, std::string content, std::uint32_t attributes = 128) {
    files[path] = Entry{std::move(content), attributes};
  }
  void AddDirectory(const std::string& path) { files[path] = Entry{"", 16}; }
  bool Exists(const std::string& path) const { return files.count(path) != 0; }
  const std::string& Content(const std::string& path) const { return files.at(path).content; }

  std::uint32_t GetAttributes(const std::string& path) override {
    auto it = files.find(path);
    if (path.empty() || it == files.end()) Fail("GetFileAttributes", path);
    return it->second.attributes;
  }
  void DeleteFile(const std::string& path) override {
    deleted.push_back(path);
    auto it = files.find(path);
    if (it == files.end() || (it->second.attributes & 17) || locked.count(path)) {
      Fail("DeleteFile", path);
    }
    files.erase(it);
  }
  std::unique_ptr<ReadableFile> OpenForReading(const std::string& path) override {
    opened.push_back(path);
    auto it = files.find(path);
    if (it == files.end() || unreadable.count(path)) Fail("CreateFile", path);
    return std::make_unique<File>(it->second.content, (it->second.attributes & 16) != 0,
                                  readChunk);
  }
  void WriteNewFile(const std::string& path, std::string_view data) override {
    CheckWritable(path);
    files[path].content.assign(data);
  }
  void AppendToFile(const std::string& path, std::string_view data, bool shared) override {
    CheckWritable(path);
    appends.push_back({path, std::string(data), shared});
    files[path].content.append(data);
  }
  std::string LocalTimestamp() override { return timestamp; }

  struct Append {
    std::string path;
    std::string data;
    bool shared;
  };

  std::map<std::string, Entry> files;
  std::set<std::string> unwritable;  // paths that can't be created or written
  std::set<std::string> unreadable;  // paths that exist but can't be opened
  std::set<std::string> locked;      // paths that can't be deleted
  std::vector<std::string> deleted;  // every DeleteFile call
  std::vector<std::string> opened;   // every OpenForReading call
  std::vector<Append> appends;
  std::string timestamp = "06.12.2026 19:34:00";
  std::size_t readChunk = 7;  // small reads exercise the reader's refills

 private:
  class File : public ReadableFile {
   public:
    File(std::string content, bool directory, std::size_t chunk)
        : content_(std::move(content)), directory_(directory), chunk_(chunk) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      if (directory_) throw EngineError("ReadFile: Access is denied.");
      const std::size_t n = std::min({size, chunk_, content_.size() - pos_});
      std::memcpy(buffer, content_.data() + pos_, n);
      pos_ += n;
      return n;
    }

   private:
    std::string content_;
    bool directory_;
    std::size_t chunk_;
    std::size_t pos_ = 0;
  };

  [[noreturn]] static void Fail(const char* call, const std::string& path) {
    throw EngineError(std::string(call) + "(" + path + "): fake failure");
  }
  void CheckWritable(const std::string& path) {
    auto it = files.find(path);
    if (path.empty() || unwritable.count(path) ||
        (it != files.end() && (it->second.attributes & 17))) {
      Fail("CreateFile", path);
    }
  }
};

class FakeMessageBox : public MessageBox {
 public:
  void ShowFatal(const std::string& caption, const std::string& text) override {
    shown.push_back({caption, text});
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

/// A process table for the census, recording every call made on it.
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
    index_.clear();
    for (std::size_t i = 0; i < processes.size(); ++i) index_[processes[i].pid] = i;
    const std::size_t n = std::min<std::size_t>(bufferBytes / 4, processes.size());
    for (std::size_t i = 0; i < n; ++i) pids[i] = processes[i].pid;
    *returnedBytes = static_cast<std::uint32_t>(n * 4);
    return true;
  }
  ProcessHandle OpenProcess(std::uint32_t access, bool inheritHandle,
                            std::uint32_t pid) override {
    openCalls.push_back({access, inheritHandle, pid});
    const Process* p = Find(pid);
    if (p == nullptr || !p->canOpen) return 0;
    const ProcessHandle h = nextHandle++;
    openHandles[h] = pid;
    return h;
  }
  bool EnumProcessModules(ProcessHandle process, ModuleHandle* modules, std::uint32_t bufferBytes,
                          std::uint32_t* neededBytes) override {
    moduleBufferBytes = bufferBytes;
    const Process* p = FindOpen(process);
    if (p == nullptr || !p->canEnumModules) return false;
    modules[0] = 0x400000;
    *neededBytes = sizeof(ModuleHandle);
    return true;
  }
  std::uint32_t GetModuleFileNameEx(ProcessHandle process, ModuleHandle module, char* name,
                                    std::uint32_t size) override {
    nameBufferSizes.push_back(size);
    const Process* p = FindOpen(process);
    if (p == nullptr || module != 0x400000 || size == 0) return 0;
    const std::size_t n = std::min<std::size_t>(p->path.size(), size - 1);
    std::memcpy(name, p->path.data(), n);
    name[n] = '\0';
    return static_cast<std::uint32_t>(n);
  }
  void CloseHandle(ProcessHandle process) override {
    closed.push_back(process);
    openHandles.erase(process);
  }

  struct OpenCall {
    std::uint32_t access;
    bool inherit;
    std::uint32_t pid;
  };

  std::string commandText;
  std::vector<Process> processes;
  std::vector<std::uint32_t> enumBufferSizes;
  std::vector<OpenCall> openCalls;
  std::vector<std::uint32_t> nameBufferSizes;
  std::uint32_t moduleBufferBytes = 0;
  std::map<ProcessHandle, std::uint32_t> openHandles;  // still open
  std::vector<ProcessHandle> closed;
  ProcessHandle nextHandle = 100;

 private:
  std::map<std::uint32_t, std::size_t> index_;  // pid -> position, as of the last enumeration

  const Process* Find(std::uint32_t pid) const {
    auto it = index_.find(pid);
    return it == index_.end() ? nullptr : &processes[it->second];
  }
  const Process* FindOpen(ProcessHandle h) const {
    auto it = openHandles.find(h);
    return it == openHandles.end() ? nullptr : Find(it->second);
  }
};

/// An automation runtime whose one object records every call as a line, for
/// example "PUT DisplayDialogs I2 3" or "CALL DoJavaScriptFile BSTR&:x.jsx ARRAY:[\"a b\"] I2&:1".
class FakeAutomation : public Automation {
 public:
  std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) override {
    journal.push_back("CREATE " + progId);
    if (!createFailure.empty()) throw EngineError(createFailure);
    return std::make_unique<Object>(*this);
  }

  std::vector<std::string> journal;
  std::string createFailure;                      // non-empty: creation fails with it
  std::map<std::string, std::string> failures;    // member -> description
  std::string scriptResult = "ok";
  int released = 0;

 private:
  class Object : public AutomationObject {
   public:
    explicit Object(FakeAutomation& owner) : owner_(owner) {}
    ~Object() override {
      ++owner_.released;
      owner_.journal.push_back("RELEASE");
    }
    void SetProperty(const std::string& name, const AutomationArg& value) override {
      owner_.journal.push_back("PUT " + name + " " + Describe(value));
      FailIfAsked(name);
    }
    void CallMethod(const std::string& name, const std::vector<AutomationArg>& args,
                    std::string* result) override {
      std::string line = "CALL " + name;
      for (const AutomationArg& a : args) line += " " + Describe(a);
      owner_.journal.push_back(line);
      FailIfAsked(name);
      if (result != nullptr) *result = owner_.scriptResult;
    }

   private:
    void FailIfAsked(const std::string& name) {
      auto it = owner_.failures.find(name);
      if (it != owner_.failures.end()) throw EngineError(it->second);
    }
    static std::string Describe(const AutomationArg& a) {
      std::string ref = a.byRef ? "&" : "";
      switch (a.type) {
        case AutomationArg::Type::Int16:
          return "I2" + ref + ":" + std::to_string(a.int16);
        case AutomationArg::Type::Boolean:
          return "BOOL" + ref + ":" + (a.boolean ? "true" : "false");
        case AutomationArg::Type::Text:
          return "BSTR" + ref + ":" + a.text;
        case AutomationArg::Type::TextArray: {
          // Each element quoted, so that one empty element and no element differ.
          std::string s = "ARRAY" + ref + ":[";
          for (std::size_t i = 0; i < a.array.size(); ++i) s += (i ? "|\"" : "\"") + a.array[i] + "\"";
          return s + "]";
        }
      }
      return "?";
    }
    FakeAutomation& owner_;
  };
};

/// A whole engine over fresh fakes.
struct FakeEngine {
  FakeConsole console;
  FakeFileSystem fs;
  FakeMessageBox box;
  FakeProcesses processes;
  FakeAutomation automation;
  Engine engine{Platform{console, fs, box, processes, automation}};
  EngineState& state = engine.state;
};

}  // namespace engine::testing
