#pragma once
// Ctrl-C while a search runs. Within a SearchInterrupt's lifetime the first Ctrl-C is only
// noted (the search is then cancelled through its progress event) and a second ends kivcli as
// Ctrl-C always does; outside it Ctrl-C is left to the system's default, ending kivcli.
class SearchInterrupt {
  public:
    SearchInterrupt();
    ~SearchInterrupt();
    SearchInterrupt(const SearchInterrupt&) = delete;
    SearchInterrupt& operator=(const SearchInterrupt&) = delete;

    // True once Ctrl-C has been pressed during this scope.
    bool Requested() const;
};
