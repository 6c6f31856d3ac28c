#pragma once
// The one progress line kivcli keeps on standard error while a search runs, rewritten in place.
// Only a terminal gets it: piped or redirected, standard error receives nothing from it.
#include <cstddef>
#include <string>

class ProgressLine {
  public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Replaces the line with `text`, cut to the terminal's width so it never wraps.
    void Show(const std::string& text);
    // Blanks the line and leaves the cursor at its start, where the answer then goes.
    void Erase();

  private:
    bool m_terminal;
    std::size_t m_shown = 0;  // characters of the line on the screen now
};
