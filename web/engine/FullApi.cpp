// The functions of the page's full engine (as Module._pg_*), on the session
// of pg_create: the C compiler, the exercise reader and grading. Only the
// page's second engine links them: they are most of the engine's size (the
// compiler; toml++ and the C++ streams it parses numbers with), and a visit
// that neither writes C nor opens an exercise never loads them.

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#else
// Built natively for the fuzz target.
#define EMSCRIPTEN_KEEPALIVE
#endif

#include <cstdint>

#include "JsonText.h"
#include "Playground.h"

using mirvo::Playground;

extern "C" {

// C: compiled (optimised unless optimise is 0), then assembled; 0 or 1;
// then pg_assembly gives the object mirvo cc --json prints, and pg_image
// the image.
EMSCRIPTEN_KEEPALIVE int pg_compile(Playground* session, const char* text, std::uint32_t size, int optimise) {
  return session->Compile(text, size, optimise != 0);
}
// After pg_compile, the assembly it compiled to as mirvo asm --json prints
// it (null when it did not compile).
EMSCRIPTEN_KEEPALIVE const char* pg_generated(Playground* session) {
  return session->Hand(mirvo::DumpJson(session->GeneratedReport()));
}

// Exercises: open one from its file's text, then grade the last assembly
// against it; both as JSON text.
EMSCRIPTEN_KEEPALIVE const char* pg_open_exercise(Playground* session, const char* text, std::uint32_t size) {
  return session->Hand(mirvo::DumpJson(session->OpenExercise(text, size)));
}
EMSCRIPTEN_KEEPALIVE const char* pg_check(Playground* session) {
  return session->Hand(mirvo::DumpJson(session->CheckExercise()));
}
// The learner's copy of an exercise, for the site's Exercises menu.
EMSCRIPTEN_KEEPALIVE const char* pg_learner_exercise(Playground* session, const char* text, std::uint32_t size) {
  return session->Hand(Playground::LearnerExercise(text, size));
}

}  // extern "C"
