// A resource-carrying DLL for the locator test: a second module with window descriptors of its
// own (tests/unit/windows/plugin*.win). Its code is never called.
extern "C" __declspec(dllexport) int WslTestModuleMarker() { return 3; }
