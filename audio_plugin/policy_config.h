#pragma once

#include <mmdeviceapi.h>
#include <windows.h>

// The audio-policy interfaces through which an endpoint becomes the system default. Windows does
// not publish them; only SetDefaultEndpoint is used, and what matters is its position in the
// operation table: entry 13 of IPolicyConfig and entry 12 of IPolicyConfigAlternate, counting the
// three IUnknown operations as entries 0 to 2. The placeholders before it only hold those
// positions and must never be called.

// {870AF99C-171D-4F9E-AF0D-E63DF40C2BC9}
constexpr CLSID kPolicyConfigClass = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
// {F8679F50-850A-41CF-9C72-430F290290C8}
constexpr IID kPolicyConfigInterface = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};
// {294935CE-F637-4E7C-A41B-AB255460B862}
constexpr CLSID kPolicyConfigAlternateClass = {
    0x294935CE, 0xF637, 0x4E7C, {0xA4, 0x1B, 0xAB, 0x25, 0x54, 0x60, 0xB8, 0x62}};
// {568B9108-44BF-40B4-9006-86AFE5B5A620}
constexpr IID kPolicyConfigAlternateInterface = {
    0x568B9108, 0x44BF, 0x40B4, {0x90, 0x06, 0x86, 0xAF, 0xE5, 0xB5, 0xA6, 0x20}};

// COM interfaces are released through IUnknown, never deleted, so they have no virtual
// destructor; GCC's -Wnon-virtual-dtor cannot know that (the platform's own interfaces escape it
// only because they come from system headers).
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

struct IPolicyConfig : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
  // Entry 13.
  virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(const wchar_t* device_id, ERole role) = 0;
};

struct IPolicyConfigAlternate : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused4() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
  // Entry 12.
  virtual HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(const wchar_t* device_id, ERole role) = 0;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
