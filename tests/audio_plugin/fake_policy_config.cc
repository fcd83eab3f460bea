#include "tests/audio_plugin/fake_policy_config.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <utility>

namespace {

constexpr IID kUnknownInterface = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr std::size_t kTableSize = 24;

}  // namespace

// The slot functions. Under the x64 calling convention an interface method receives the object
// as its first argument, which is how these plain functions see it.
struct PolicyTableSlots {
  static HRESULT STDMETHODCALLTYPE QueryInterface(FakePolicyObject* self, REFIID iid,
                                                  void** object) {
    if (IsEqualIID(iid, kUnknownInterface)) {
      ++self->references_;
      *object = self;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static ULONG STDMETHODCALLTYPE AddRef(FakePolicyObject* self) {
    return static_cast<ULONG>(++self->references_);
  }
  static ULONG STDMETHODCALLTYPE Release(FakePolicyObject* self) {
    EXPECT_GT(self->references_, 1) << "policy object released more often than obtained";
    return static_cast<ULONG>(--self->references_);
  }
  static HRESULT STDMETHODCALLTYPE SetDefaultEndpoint(FakePolicyObject* self,
                                                      const wchar_t* device_id, int role) {
    self->calls.push_back({device_id ? device_id : L"<null>", role});
    if (role < 0 || role > 2) {
      ADD_FAILURE() << "SetDefaultEndpoint with role " << role;
      return E_INVALIDARG;
    }
    return self->role_results[role];
  }
  template <std::size_t kSlot>
  static HRESULT STDMETHODCALLTYPE Unexpected(FakePolicyObject*) {
    ADD_FAILURE() << "operation table entry " << kSlot << " of a policy object was called";
    return E_NOTIMPL;
  }

  template <std::size_t... kSlots>
  static const void* const* Table(std::size_t set_default_slot, std::index_sequence<kSlots...>) {
    using Entry = const void*;
    // Function pointers stored as data pointers, the way a COM table is laid out; both are eight
    // bytes on every target this runs on.
    static_assert(sizeof(Entry) == sizeof(&SetDefaultEndpoint));
    static Entry policy[] = {reinterpret_cast<Entry>(&Unexpected<kSlots>)...};
    static Entry alternate[] = {reinterpret_cast<Entry>(&Unexpected<kSlots>)...};
    Entry* table = set_default_slot == 13 ? policy : alternate;
    table[0] = reinterpret_cast<Entry>(&QueryInterface);
    table[1] = reinterpret_cast<Entry>(&AddRef);
    table[2] = reinterpret_cast<Entry>(&Release);
    table[set_default_slot] = reinterpret_cast<Entry>(&SetDefaultEndpoint);
    return table;
  }
};

FakePolicyObject::FakePolicyObject(int set_default_slot)
    : table_(PolicyTableSlots::Table(static_cast<std::size_t>(set_default_slot),
                                     std::make_index_sequence<kTableSize>())) {}

FakePolicyObject::~FakePolicyObject() {
  EXPECT_EQ(references_, 1) << "policy object still referenced by the code under test";
}
