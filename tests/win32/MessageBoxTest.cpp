#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MessageBoxProbe.h"
#include "platform/win32/Win32Platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#undef MessageBox

namespace {

struct ShowCall {
  std::string caption;
  std::string text;
};

DWORD WINAPI Show(void* context) {
  auto* call = static_cast<ShowCall*>(context);
  engine::Win32MessageBox box;
  box.ShowFatal(call->caption, call->text);
  return 0;
}

// The box is modal: ShowFatal returns only once someone presses OK.
TEST(Win32MessageBox, ShowsTextAndOneOkButtonWithoutIconUntilDismissed) {
  ShowCall call{"Fatal Box Test " + std::to_string(GetCurrentProcessId()),
                "Something; went wrong"};
  HANDLE thread = CreateThread(nullptr, 0, &Show, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);

  ULONGLONG t0 = GetTickCount64();
  const auto box = testing_win32::WaitForMessageBox(GetCurrentProcessId(), call.caption, 60000);
  ASSERT_TRUE(box.has_value()) << "no message box appeared";
  EXPECT_EQ(box->texts, std::vector<std::string>{call.text});
  EXPECT_EQ(box->buttons, std::vector<std::string>{"OK"});
  EXPECT_FALSE(box->showsIcon);
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "ShowFatal returned before the box was dismissed";

  printf("found after %llu ms\n", GetTickCount64() - t0); t0 = GetTickCount64();
  ASSERT_TRUE(testing_win32::PressOk(*box));
  printf("pressed after %llu ms\n", GetTickCount64() - t0); t0 = GetTickCount64();
  EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
  printf("closed after %llu ms\n", GetTickCount64() - t0);
  CloseHandle(thread);
}

}  // namespace
