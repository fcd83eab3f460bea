#include "tests/audio_plugin/fake_core_audio.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Spelled out here, independently of the code under test.
constexpr IID kUnknownInterface = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kEndpointInterface = {
    0x1BE09788, 0x6894, 0x4089, {0x85, 0x86, 0x9A, 0x2A, 0x6C, 0x26, 0x5A, 0xC5}};
constexpr PROPERTYKEY kFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

wchar_t* CoTaskCopy(const std::wstring& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  std::memcpy(copy, text.c_str(), bytes);
  return copy;
}

template <typename Interface>
HRESULT HandOut(Interface* object, Interface** out) {
  object->AddRef();
  *out = object;
  return S_OK;
}

}  // namespace

FakeComObject::FakeComObject() { Registry().insert(this); }
FakeComObject::~FakeComObject() {
  EXPECT_EQ(references_, 1) << "a fake was destroyed while the code under test held references";
  Registry().erase(this);
}

std::set<FakeComObject*>& FakeComObject::Registry() {
  static std::set<FakeComObject*> registry;
  return registry;
}

long FakeComObject::OutstandingReferences() {
  long outstanding = 0;
  for (const FakeComObject* object : Registry()) outstanding += object->references_ - 1;
  return outstanding;
}

ULONG FakeComObject::ReleaseReference() {
  EXPECT_GT(references_, 1) << "released more often than obtained";
  return static_cast<ULONG>(--references_);
}

// --- FakePropertyStore

HRESULT FakePropertyStore::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, kUnknownInterface)) {
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}
HRESULT FakePropertyStore::GetCount(DWORD*) { return E_NOTIMPL; }
HRESULT FakePropertyStore::GetAt(DWORD, PROPERTYKEY*) { return E_NOTIMPL; }
HRESULT FakePropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  keys_asked.push_back(key);
  if (FAILED(get_value_result)) return get_value_result;
  if (IsEqualGUID(key.fmtid, kFriendlyName.fmtid) && key.pid == kFriendlyName.pid &&
      friendly_number) {
    value->vt = VT_UI4;
    value->ulVal = *friendly_number;
  } else if (IsEqualGUID(key.fmtid, kFriendlyName.fmtid) && key.pid == kFriendlyName.pid &&
             friendly_name) {
    value->vt = VT_LPWSTR;
    value->pwszVal = CoTaskCopy(*friendly_name);
  }
  return get_value_result;
}
HRESULT FakePropertyStore::SetValue(REFPROPERTYKEY, REFPROPVARIANT) { return E_NOTIMPL; }
HRESULT FakePropertyStore::Commit() { return E_NOTIMPL; }

// --- FakeEndpoint

FakeEndpoint::FakeEndpoint(std::wstring endpoint_id, std::wstring name, EDataFlow data_flow)
    : id(std::move(endpoint_id)), flow(data_flow) {
  store.friendly_name = std::move(name);
}

HRESULT FakeEndpoint::QueryInterface(REFIID iid, void** object) {
  *object = nullptr;
  if (IsEqualIID(iid, kUnknownInterface)) {
    *object = static_cast<IMMDevice*>(this);
  } else if (IsEqualIID(iid, kEndpointInterface)) {
    if (FAILED(query_endpoint_result)) return query_endpoint_result;
    *object = static_cast<IMMEndpoint*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}
HRESULT FakeEndpoint::Activate(REFIID, DWORD, PROPVARIANT*, void**) { return E_NOTIMPL; }
HRESULT FakeEndpoint::OpenPropertyStore(DWORD access, IPropertyStore** out) {
  store_modes.push_back(access);
  *out = nullptr;
  if (FAILED(open_store_result)) return open_store_result;
  if (null_store) return S_OK;
  return HandOut<IPropertyStore>(&store, out);
}
HRESULT FakeEndpoint::GetId(LPWSTR* out) {
  *out = nullptr;
  if (FAILED(get_id_result)) return get_id_result;
  if (!null_id) *out = CoTaskCopy(id);
  return S_OK;
}
HRESULT FakeEndpoint::GetState(DWORD* out) {
  if (FAILED(get_state_result)) return get_state_result;
  *out = state;
  return S_OK;
}
HRESULT FakeEndpoint::GetDataFlow(EDataFlow* out) {
  if (FAILED(get_flow_result)) return get_flow_result;
  *out = flow;
  return S_OK;
}

// --- FakeCollection

HRESULT FakeCollection::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, kUnknownInterface)) {
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}
HRESULT FakeCollection::GetCount(UINT* count) {
  if (FAILED(get_count_result)) return get_count_result;
  *count = static_cast<UINT>(endpoints.size());
  return S_OK;
}
HRESULT FakeCollection::Item(UINT index, IMMDevice** out) {
  *out = nullptr;
  if (failing_items.count(index) != 0 || index >= endpoints.size()) return E_INVALIDARG;
  if (null_items.count(index) != 0) return S_OK;
  return HandOut<IMMDevice>(endpoints[index], out);
}

// --- FakeEnumerator

HRESULT FakeEnumerator::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, kUnknownInterface)) {
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}
HRESULT FakeEnumerator::EnumAudioEndpoints(EDataFlow flow, DWORD state_mask,
                                           IMMDeviceCollection** out) {
  enum_requests.emplace_back(flow, state_mask);
  *out = nullptr;
  if (FAILED(enum_result)) return enum_result;
  if (null_collection) return S_OK;
  return HandOut<IMMDeviceCollection>(&collection, out);
}
HRESULT FakeEnumerator::GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) {
  default_requests.emplace_back(flow, role);
  *out = nullptr;
  if (FAILED(default_result)) return default_result;
  if (default_endpoint == nullptr) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
  return HandOut<IMMDevice>(default_endpoint, out);
}
HRESULT FakeEnumerator::GetDevice(LPCWSTR id, IMMDevice** out) {
  device_requests.emplace_back(id);
  *out = nullptr;
  for (FakeEndpoint* endpoint : known_endpoints) {
    if (endpoint->id == id) return HandOut<IMMDevice>(endpoint, out);
  }
  return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}
HRESULT FakeEnumerator::RegisterEndpointNotificationCallback(IMMNotificationClient*) {
  return E_NOTIMPL;
}
HRESULT FakeEnumerator::UnregisterEndpointNotificationCallback(IMMNotificationClient*) {
  return E_NOTIMPL;
}
