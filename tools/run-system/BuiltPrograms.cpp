#include "tools/run-system/BuiltPrograms.h"

SystemPrograms BuiltPrograms(bool p_bSecondBuild, std::string p_User) {
  return {p_bSecondBuild ? SECOND_BUILD_DIR : FIRST_BUILD_DIR, PLATFORMCTL, WMPLAYER,
          PLAYER_SAMPLE_LIBRARY, std::move(p_User)};
}
