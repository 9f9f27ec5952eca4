#pragma once

#include <string>

// For the Frame Headers question of a CEL file without a database: true when reading its
// frames with Frame Headers leaves more of them viewable than reading them without, which
// then becomes the question's default answer. A tie, or a file that does not load either
// way, gives false (no headers), as vornix-cel decides.
bool HeadersLeaveMoreViewable(const std::string& fileName);
