#include "vreader/model/state/json_line.hpp"

#include <nlohmann/json.hpp>

namespace vreader {

JsonLine::JsonLine(std::string_view request) : request_(request) {}

JsonLine& JsonLine::push(Field field)
{
    fields_.push_back(std::move(field));
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, std::string_view text)
{
    return push({Kind::Text, std::string(key), 0, 0, std::string(text)});
}

JsonLine& JsonLine::begin_object(std::string_view key) { return push({Kind::Begin, std::string(key), 0, 0, {}}); }

JsonLine& JsonLine::end_object() { return push({Kind::End, {}, 0, 0, {}}); }

void JsonLine::set_result(long long result, int error, bool injected)
{
    result_ = result;
    error_ = error;
    injected_ = injected;
}

std::string JsonLine::text(std::uint64_t seq) const
{
    using Json = nlohmann::ordered_json;
    Json line = Json::object();
    line["seq"] = seq;
    line["request"] = request_;
    std::vector<Json*> open{&line};
    for (const Field& field : fields_) {
        Json& object = *open.back();
        switch (field.kind) {
        case Kind::Signed:
            object[field.key] = field.signed_value;
            break;
        case Kind::Unsigned:
            object[field.key] = field.unsigned_value;
            break;
        case Kind::Bool:
            object[field.key] = field.signed_value != 0;
            break;
        case Kind::Text:
            object[field.key] = field.text;
            break;
        case Kind::Begin:
            object[field.key] = Json::object();
            open.push_back(&object[field.key]);
            break;
        case Kind::End:
            if (open.size() > 1)
                open.pop_back();
            break;
        }
    }
    line["result"] = result_;
    if (result_ < 0) {
        line["errno"] = error_;
        if (injected_)
            line["injected"] = true;
    }
    // Paths and texts come from programs: bytes that are not UTF-8 are
    // replaced rather than refused.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vreader
