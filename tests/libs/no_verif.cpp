// An automaton library that lacks VerifCardOut.
extern "C" __attribute__((visibility("default"))) void init_grafcet() {}
