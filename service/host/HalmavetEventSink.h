#pragma once

// CHalmavetEventSink: the one component class that the running service serves. It has no state;
// a call through its dispatch interface finds no member. Objects live in the single-threaded
// model: the thread that serves the class object's apartment calls them.

#include "platform/com/ClassFactory.h"
#include "platform/com/Object.h"
#include "service/host/TamsvardInterfaces.h"

class CHalmavetEventSink final
    : public platform::ComObject<IHalmavetEventSink, IWMPEvents> {
 public:
  HRESULT Invoke(DISPID p_nDispid, REFIID p_Iid, LCID p_nLocale, std::uint16_t p_nFlags,
                 DISPPARAMS* p_pParameters, VARIANT* p_pResult) override;
};

using CHalmavetEventSinkFactory = platform::ClassFactory<CHalmavetEventSink>;
