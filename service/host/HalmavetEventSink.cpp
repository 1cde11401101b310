#include "service/host/HalmavetEventSink.h"

HRESULT CHalmavetEventSink::Invoke(DISPID, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*) {
  return DISP_E_MEMBERNOTFOUND;
}
