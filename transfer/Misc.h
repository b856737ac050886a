// Small routines the update run and the window share: splitting list lines, replacing and
// searching text, deleting a folder tree, starting a program.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Ascii.h"

namespace korvath {

using TStringList = std::vector<std::string>;

// The fields of Line in reverse order (element 0 is the last field); every character of
// Delimiters separates fields; empty fields are dropped.
TStringList SplitFromEnd(const std::string& line, const std::string& delimiters);

// Source with every occurrence of OldText replaced by NewText, left to right, never overlapping.
std::string ReplaceAll(const std::string& source, const std::string& oldText,
                       const std::string& newText);

// Text from the update list made harmless for a console or a message: control characters
// become "?".
std::string Printable(const std::string& text);

// Text from the update list or the server as the console shows it: every control byte
// (0x00-0x1F and 0x7F, ESC among them) becomes "\x" and two lowercase hex digits, so that no
// such byte reaches a terminal and none is lost from sight. "\" stays as it is, since Windows
// paths are full of it; bytes from 0x80 up are single-byte ANSI text and stay as well.
std::string ConsoleEscaped(const std::string& text);

// Deletes the folder Path and everything in it, when it exists. True when the shell reports
// success.
bool DeleteDirectory(const std::string& path);

// Makes the program's folder current and starts it hidden. Raises EInOutError when the
// folder cannot be made current; the start itself is not checked.
void RunProgram(const std::string& commandLine);

// Writes "Update.bat" into the current folder: the script that ends every process named
// ProgramName, puts ProgramName + ".New" in its place when that file exists, starts it again
// and deletes itself. ProgramName goes unquoted into the script and into a process name: the
// caller passes only a bare file name it has checked. Raises EInOutError when the script
// cannot be created or written.
void WriteUpdateScript(const std::string& programName);

}  // namespace korvath
