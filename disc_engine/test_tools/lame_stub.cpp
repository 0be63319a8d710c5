// A stand-in for the MP3 encoder library that has its first entry point only,
// for the test of a library that lacks the others.
extern "C" void* lame_init() { return nullptr; }
