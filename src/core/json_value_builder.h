#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json_value.h"

namespace nvx {

// Builds a JSONValue straight from a parser's events (nlohmann's SAX
// interface), without an intermediate document tree: the inventory is most
// of a report's bytes, and building it once instead of twice halves the cost
// of reading a report.
class JSONValueBuilder {
public:
    // Each event returns true; `complete()` tells when the root value ended.
    bool null();
    bool boolean(bool value);
    bool number(double value);
    bool string(std::string& value);
    bool startObject();
    bool key(std::string& value);
    bool endObject();
    bool startArray();
    bool endArray();

    bool complete() const { return started_ && stack_.empty(); }
    JSONValue take() { return std::move(root_); }

private:
    // Places a finished scalar or a new container where the parser is now:
    // the root, the next array element, or the member named by the last key
    // (a repeated key replaces the earlier member, as in a parsed document).
    JSONValue* place(JSONValue value);

    JSONValue root_;
    std::vector<JSONValue*> stack_;
    std::string pendingKey_;
    bool started_ = false;
};

}  // namespace nvx
