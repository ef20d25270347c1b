// For a name that no car advertises: the names heard that come nearest, so
// that "name:pellan" points at "Pellan". Plain C++.
#pragma once

#include <string>
#include <vector>

// The heard names equal to `wanted` but for case, else those within a third
// of its length in single-letter edits (at least one), nearest first; at most
// three, each once.
std::vector<std::string> nearestNames(const std::string& wanted, const std::vector<std::string>& heard);
