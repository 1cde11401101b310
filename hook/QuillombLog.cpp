#include "hook/QuillombLog.h"

#include "platform/base/NoDestructor.h"

NarrowLogger& QuillombLogger() {
  static NoDestructor<NarrowLogger> s_Logger(LOG_IN_PROGRAM_FOLDER | LOG_CREATE_NEW);
  return *s_Logger;
}
