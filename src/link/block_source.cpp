#include "link/block_source.h"

#include "support/text_codec.h"

namespace plm::link {

std::string commErrorText(int code) {
    return support::format(support::sj("通信異常 [%d]").c_str(), code);
}

}  // namespace plm::link
