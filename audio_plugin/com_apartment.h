#pragma once

#include <windows.h>

// Initialises COM on the calling thread for one audio operation, as a single-threaded apartment,
// and pays back exactly the CoUninitialize that this initialisation owes. A thread that already
// runs another apartment model (RPC_E_CHANGED_MODE) can still use COM but owes nothing; S_OK and
// S_FALSE (already initialised the same way) each owe one. Lives on the stack of the operation,
// on the thread that runs the audio channel's calls; declare it before every COM pointer of the
// operation so that the interfaces are released before COM is uninitialised.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();

  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  bool usable() const { return usable_; }

  // Pays the owed CoUninitialize now (at most once), so that an operation can leave COM before it
  // answers its call.
  void Leave();

 private:
  bool usable_ = false;
  bool owes_uninitialize_ = false;
};
