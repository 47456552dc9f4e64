#pragma once

// The journal: one line per call, "<pid> <PUT|CALL|GET> <member>", then the
// arguments first to last, each as its VARTYPE and value.

#include <windows.h>

#include <oleauto.h>

#include <string>

namespace standin {

/// The journal line of a call of |member| with |flags| and |params|, without
/// the process id and the line end.
std::string CallLine(const std::string& member, WORD flags, const DISPPARAMS& params);

/// Adds "<pid> <line>" to the journal.
void Journal(const std::string& line);

}  // namespace standin
