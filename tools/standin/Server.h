#pragma once

// The automation server: the class factory, the application object and the
// message filter of one stand-in process, and the loop that serves them.

namespace standin {

/// Serves the class until the last object and lock are gone (or, when |stay|,
/// until the stop event), and ends at once when the stop event is signalled.
/// Returns the process's exit status.
int Serve(bool stay);

}  // namespace standin
