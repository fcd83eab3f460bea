#include "audio_plugin/com_apartment.h"

#include <objbase.h>

#include "audio_plugin/audio_system_calls.h"

ComApartment::ComApartment() {
  const HRESULT hr = ActiveAudioSystemCalls().co_initialize_ex(nullptr, COINIT_APARTMENTTHREADED);
  usable_ = SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE;
  owes_uninitialize_ = hr == S_OK || hr == S_FALSE;
}

ComApartment::~ComApartment() { Leave(); }

void ComApartment::Leave() {
  if (!owes_uninitialize_) return;
  owes_uninitialize_ = false;
  ActiveAudioSystemCalls().co_uninitialize();
}
