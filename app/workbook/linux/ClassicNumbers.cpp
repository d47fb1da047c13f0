#include "app/workbook/ClassicNumbers.h"

#include <locale.h>

namespace workbook {

ClassicNumbers::ClassicNumbers() {
    const locale_t classic = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (classic == static_cast<locale_t>(nullptr)) return;  // no memory for it: the thread's own stays
    FClassic = classic;
    FSaved = ::uselocale(classic);
}

ClassicNumbers::~ClassicNumbers() {
    if (FClassic == nullptr) return;
    ::uselocale(static_cast<locale_t>(FSaved));
    ::freelocale(static_cast<locale_t>(FClassic));
}

} // namespace workbook
