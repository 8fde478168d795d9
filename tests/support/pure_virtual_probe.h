// A call of a pure virtual function, as a program makes one by mistake: Abstract's constructor
// hands the object to CallRun through a volatile pointer (the compiler cannot see through it),
// and CallRun's call reaches the vtable's pure-virtual entry while the object is still an
// Abstract. Tests derive a Concrete class and construct it. External linkage throughout: in
// an anonymous namespace the compiler would know every derived class and call Concrete::Run.
#pragma once

namespace pure_virtual_probe {

struct Abstract;
void CallRun(Abstract* object);
inline void (*volatile g_call_run)(Abstract*) = CallRun;

struct Abstract {
  Abstract() { g_call_run(this); }
  virtual ~Abstract() = default;
  virtual void Run() = 0;
};

inline void CallRun(Abstract* object) { object->Run(); }

}  // namespace pure_virtual_probe
