#include "app/workbook/ClassicNumbers.h"

namespace workbook {

// Qt leaves the C library's locale at "C" on Windows, and nothing else in the program sets one.
ClassicNumbers::ClassicNumbers() = default;
ClassicNumbers::~ClassicNumbers() = default;

} // namespace workbook
