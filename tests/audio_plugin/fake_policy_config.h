#pragma once

// Test tool: stand-ins for the audio-policy objects, built without the program's own interface
// declarations. Each object is a plain operation table of function pointers in which only the
// slot where SetDefaultEndpoint must sit (13 for the policy object, 12 for the alternate) records
// the call; every other slot but the three IUnknown ones fails the test. A declaration that puts
// SetDefaultEndpoint anywhere else therefore cannot pass.

#include <windows.h>

#include <string>
#include <vector>

class FakePolicyObject {
  // Must stay the first member: a COM object begins with its operation table pointer.
  const void* const* table_;
  long references_ = 1;

 public:
  // `set_default_slot` is 13 for IPolicyConfig, 12 for IPolicyConfigAlternate.
  explicit FakePolicyObject(int set_default_slot);
  ~FakePolicyObject();
  FakePolicyObject(const FakePolicyObject&) = delete;
  FakePolicyObject& operator=(const FakePolicyObject&) = delete;

  struct SetDefaultCall {
    std::wstring device_id;
    int role;
  };

  // What SetDefaultEndpoint answers for each role (index 0, 1, 2); S_OK by default.
  HRESULT role_results[3] = {S_OK, S_OK, S_OK};
  std::vector<SetDefaultCall> calls;

  // The object as COM sees it: a pointer to its operation table.
  void* AsInterface() { return this; }
  long references() const { return references_; }

  friend struct PolicyTableSlots;
};
