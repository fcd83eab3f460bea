#pragma once

// Test tool: in-process fakes of the Core Audio endpoint objects (enumerator, collection,
// endpoint with its data-flow interface, property store). Every call can be made to fail or to
// answer null, and every object counts its references, so a test can check that the code under
// test released everything it obtained. The test creates the objects (holding one reference each)
// and keeps them alive for the whole case.

#include <mmdeviceapi.h>
#include <propsys.h>
#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

// Reference counting shared by the fakes. Every live fake is listed so that a test can ask how
// many references the code under test still holds.
class FakeComObject {
 public:
  FakeComObject();
  virtual ~FakeComObject();
  FakeComObject(const FakeComObject&) = delete;
  FakeComObject& operator=(const FakeComObject&) = delete;

  // References beyond the test's own one, summed over every live fake.
  static long OutstandingReferences();
  long references() const { return references_; }

 protected:
  ULONG AddReference() { return static_cast<ULONG>(++references_); }
  // Fakes are owned by the test, so reaching zero is a fault of the code under test, not a delete.
  ULONG ReleaseReference();

 private:
  long references_ = 1;
  static std::set<FakeComObject*>& Registry();
};

#if defined(__GNUC__)
// COM objects are released through IUnknown; the fakes' virtual destructor sits in their own
// base, which GCC cannot see through the platform interfaces.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

class FakePropertyStore : public IPropertyStore, public FakeComObject {
 public:
  // The friendly name; absent leaves the value empty (a null text pointer).
  std::optional<std::wstring> friendly_name;
  // Answers the friendly name as this number (VT_UI4) instead of a text.
  std::optional<ULONG> friendly_number;
  HRESULT get_value_result = S_OK;
  std::vector<PROPERTYKEY> keys_asked;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
  HRESULT STDMETHODCALLTYPE Commit() override;
};

class FakeEndpoint : public IMMDevice, public IMMEndpoint, public FakeComObject {
 public:
  FakeEndpoint(std::wstring endpoint_id, std::wstring name, EDataFlow data_flow);

  std::wstring id;
  HRESULT get_id_result = S_OK;
  bool null_id = false;
  FakePropertyStore store;
  HRESULT open_store_result = S_OK;
  bool null_store = false;
  std::vector<DWORD> store_modes;
  DWORD state = DEVICE_STATE_ACTIVE;
  HRESULT get_state_result = S_OK;
  EDataFlow flow;
  HRESULT query_endpoint_result = S_OK;
  HRESULT get_flow_result = S_OK;

  // IUnknown, shared by both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
  // IMMDevice
  HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                                     void** object) override;
  HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override;
  // IMMEndpoint
  HRESULT STDMETHODCALLTYPE GetDataFlow(EDataFlow* flow) override;
};

class FakeCollection : public IMMDeviceCollection, public FakeComObject {
 public:
  std::vector<FakeEndpoint*> endpoints;
  HRESULT get_count_result = S_OK;
  std::set<UINT> failing_items;
  std::set<UINT> null_items;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
  HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override;
};

class FakeEnumerator : public IMMDeviceEnumerator, public FakeComObject {
 public:
  // What EnumAudioEndpoints hands out, whatever flow is asked for (the test fills it to match).
  FakeCollection collection;
  HRESULT enum_result = S_OK;
  bool null_collection = false;
  // The default endpoint, or none.
  FakeEndpoint* default_endpoint = nullptr;
  HRESULT default_result = S_OK;
  // Every endpoint GetDevice can find, active or not.
  std::vector<FakeEndpoint*> known_endpoints;

  std::vector<std::pair<EDataFlow, DWORD>> enum_requests;
  std::vector<std::pair<EDataFlow, ERole>> default_requests;
  std::vector<std::wstring> device_requests;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
  HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD state_mask,
                                               IMMDeviceCollection** devices) override;
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                    IMMDevice** endpoint) override;
  HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override;
  HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
