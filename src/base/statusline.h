#ifndef VELMAR_BASE_STATUSLINE_H
#define VELMAR_BASE_STATUSLINE_H

#include <string>

// The one status line a long task keeps on standard error, redrawn in place.
// Callers draw only when standard error is a terminal (isTerminal); a drawn
// line is erased before a failure's message, so that message stands on a
// line of its own. Used from one thread at a time.
namespace statusline {

// True when the descriptor (STDERR_FILENO, STDOUT_FILENO) is a terminal.
bool isTerminal(int fd);
// Replaces the line with `text`.
void draw(const std::string& text);
// Erases the line, if one is drawn.
void erase();
// Whether the line should be redrawn now: none is drawn, or the last one is
// a quarter of a second old (so redraws stay a few a second).
bool dueForRedraw();

}  // namespace statusline

#endif
