// The exercise functions of the page's engine (as Module._pg_*), on the
// session of pg_create. Only the page's second engine links them: the
// exercise reader (toml++, and the C++ streams it parses numbers with) and
// grading are most of the engine's size, and a visit that opens no exercise
// never loads them.

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
