#include "support/numeric_locale.h"

#include <clocale>

namespace plm::support {

void keepNumbersInCLocale() {
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace plm::support
