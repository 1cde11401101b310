// The stand-in player application: `player_application_stand_in <library file> -Embedding`, as
// activation starts it. Its engine lives on its single-threaded apartment's thread, which pumps
// until its window is closed.

#include <iostream>

#include "platform/com/Activation.h"
#include "platform/com/Apartment.h"
#include "platform/player/Engine.h"
#include "platform/player/Library.h"
#include "platform/player/PlayerApplication.h"
#include "platform/player/tests/ApplicationStandIn.h"
#include "platform/player/tests/PlayerHandout.h"
#include "platform/user/Window.h"

namespace {

LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    platform::PostQuitMessage(0);
    return 0;
  }
  return platform::DefWindowProc(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: player_application_stand_in <library file>\n";
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 1;
  int exitCode = 1;
  try {
    const auto engine =
        platform::player::Engine::Create(platform::player::Library::FromFile(argv[1]));
    const auto players = platform::MakeObject<player_test::CPlayerHandout>(engine->Player());
    if (platform::RegisterClass(kStandInWindowClass, Procedure) &&
        platform::CreateWindow(kStandInWindowClass, u"", WS_POPUP) != 0) {
      DWORD cookie = 0;
      if (SUCCEEDED(CoRegisterClassObject(CLSID_PlayerApplication, players->Identity(),
                                          CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        MSG message;
        while (platform::GetMessage(message, 0, 0, 0) > 0) platform::DispatchMessage(message);
        CoRevokeClassObject(cookie);
        exitCode = 0;
      }
    }
  } catch (const platform::player::LibraryError& error) {
    std::cerr << error.what() << '\n';
  }
  CoUninitialize();
  return exitCode;
}
