#include "http/request_options.h"

namespace ombrix::http {

RequestOptions::RequestOptions(std::string url, WriteCallback& writer)
    : url(std::move(url)), writer(writer) {}

bool RequestOptions::HasRange() const { return rangeFirst != 0 || rangeLast != kNoRangeLast; }

}  // namespace ombrix::http
