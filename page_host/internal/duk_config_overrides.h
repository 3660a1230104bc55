// Build options of the embedded ECMAScript engine, spliced into its configuration header at the point
// that header reserves for local overrides (see page_host/CMakeLists.txt). Our own sources see the same
// options through duktape.h, so both sides agree on how errors unwind.
//
// - C++ exceptions carry the engine's errors, so an error thrown through one of our native functions
//   runs the destructors of the C++ objects that function holds.
// - The execution-time check lets the host stop a running script: when the page's time is up, and
//   after Response.End, it keeps answering "stop" until the script has unwound completely, so not even
//   a try/catch in the page can resume it (script_engine.cpp).
#ifndef ORVAN_DUK_CONFIG_OVERRIDES_H
#define ORVAN_DUK_CONFIG_OVERRIDES_H

#define DUK_USE_CPP_EXCEPTIONS
#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) orvan_host_exec_timeout_check((udata))

#if defined(__cplusplus)
extern "C" {
#endif
// Non-zero when the script running on the heap whose user data is udata must stop.
int orvan_host_exec_timeout_check(void* udata);
#if defined(__cplusplus)
}
#endif

#endif
