// The host that scripts/demo runs a job through, and the smallest example of
// what a conversion server does with the engine: start it with the request's
// path as its whole command text, read its standard output until it ends, and
// wait for the stand-in application that the job started to end as well.
//
//   demo_host ENGINE WORK-FOLDER COMMAND-TEXT
//   demo_host --journal WORK-FOLDER    prints the stand-in's journal there
//
// The command line is "ENGINE" COMMAND-TEXT, exactly (host::Start). The engine
// runs in WORK-FOLDER, which is also the stand-in's folder, registered for this
// user as the stand-in's guide says (a server that COM starts on Windows
// doesn't get our environment). Exit status: 0 when the engine ran to its end,
// 1 when it had to be stopped, 2 when it could not be started.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "Started.h"
#include "standin/StandinProtocol.h"

namespace {

// Bounds that only keep a hung job from holding the terminal for ever.
constexpr DWORD kJobLimit = 5 * 60 * 1000;
constexpr DWORD kServerEndLimit = 30000;

struct Output {
  HANDLE pipe;
  std::string bytes;
};

// Reads the engine's output while it runs, so that it never waits on a full pipe.
DWORD WINAPI Drain(void* context) {
  auto* output = static_cast<Output*>(context);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(output->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    output->bytes.append(buffer, got);
  }
  return 0;
}

// Writes |bytes| to our output as they are (the C library's stdout would turn
// each LF into CR LF).
void Print(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

// Copies the stand-in's journal in |folder| to our output; 0 when there is one.
int PrintJournal(const std::string& folder) {
  std::ifstream journal(folder + "\\" + standin::kJournalFile, std::ios::binary);
  if (!journal) return 1;
  Print(std::string(std::istreambuf_iterator<char>(journal), {}));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--journal") return PrintJournal(argv[2]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_host ENGINE WORK-FOLDER COMMAND-TEXT\n");
    return 2;
  }
  const std::string engine = argv[1];
  const std::string folder = argv[2];
  if (standin::SetFolder(folder) != ERROR_SUCCESS) {
    std::fprintf(stderr, "demo_host: the stand-in's folder could not be registered\n");
    return 2;
  }

  host::Started process;
  if (!host::Start(engine, "\"" + engine + "\" " + argv[3], folder, true, "", process)) {
    std::fprintf(stderr, "demo_host: %s could not be started (error %lu)\n", engine.c_str(),
                 GetLastError());
    return 2;
  }
  Output output{process.output, {}};
  HANDLE reader = CreateThread(nullptr, 0, &Drain, &output, 0, nullptr);

  const bool ended = WaitForSingleObject(process.info.hProcess, kJobLimit) == WAIT_OBJECT_0;
  if (!ended) {
    std::fprintf(stderr, "demo_host: the engine did not end; it was stopped\n");
    TerminateProcess(process.info.hProcess, 1);
  }
  // A server that COM started for the engine may hold a copy of the engine's
  // output for a while after the engine has ended.
  if (WaitForSingleObject(reader, 10000) != WAIT_OBJECT_0) {
    CancelSynchronousIo(reader);
    WaitForSingleObject(reader, INFINITE);
  }
  Print(output.bytes);
  // Each stand-in server of the job is to end by itself.
  standin::EndServers(folder, false, kServerEndLimit, [](unsigned long pid) {
    std::fprintf(stderr, "demo_host: the stand-in %lu did not end by itself; stopping it\n", pid);
  });
  return ended ? 0 : 1;
}
