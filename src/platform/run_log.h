// The log of an unattended run ("/LOG=FILE"): one UTF-8 text file, one line
// per event, CRLF, written through as each line comes so that a run that ends
// abruptly still leaves what happened. The program entry opens it; everything
// else writes lines with LogLine, which does nothing while no log is open.
#pragma once

#include <cstdint>
#include <string>

namespace setup {

// Creates the log file through the active platform. The program may run
// with administrator rights on a path someone else chose, so the file must be
// new: an existing file, or a link planted at the name, is never opened or
// followed. Raises an Os error naming the file when it cannot be created.
void OpenRunLog(const std::string& path);
// Closes the log; later lines are dropped.
void CloseRunLog();
bool RunLogOpen();
// Appends one line (GBK text; line breaks inside become separate lines).
// A line that cannot be written is dropped: the log never ends a run.
void LogLine(const std::string& text);

}  // namespace setup
