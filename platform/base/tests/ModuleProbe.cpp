// A shared library for the module tests: an exported function and a word that counts how often
// the library was brought in since it was last mapped.

extern "C" {
__attribute__((visibility("default"))) int ModuleProbeLoads = 0;
}

namespace {
__attribute__((constructor)) void Loaded() { ++ModuleProbeLoads; }
}  // namespace

extern "C" __attribute__((visibility("default"))) int ModuleProbeAnswer() { return 42; }
