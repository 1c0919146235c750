#include "tests/support/json_line.hpp"

#include <cctype>
#include <stdexcept>

namespace testing_support {
namespace {

class Parser {
public:
    Parser(const std::string& text, std::map<std::string, std::string>& values) : text_(text), values_(values) {}

    void parse_object(const std::string& prefix)
    {
        expect('{');
        skip_space();
        if (peek() == '}') {
            ++at_;
            return;
        }
        for (;;) {
            skip_space();
            const std::string key = parse_string();
            skip_space();
            expect(':');
            skip_space();
            const std::string path = prefix.empty() ? key : prefix + "." + key;
            if (peek() == '{') {
                parse_object(path);
            } else if (peek() == '"') {
                values_[path] = parse_string();
            } else {
                const size_t start = at_;
                while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                                              text_[at_] == '-' || text_[at_] == '+' || text_[at_] == '.'))
                    ++at_;
                if (start == at_)
                    throw std::runtime_error("bad value in: " + text_);
                values_[path] = text_.substr(start, at_ - start);
            }
            skip_space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            expect('}');
            return;
        }
    }

    void finish()
    {
        skip_space();
        if (at_ != text_.size())
            throw std::runtime_error("trailing text in: " + text_);
    }

private:
    char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
    void expect(char c)
    {
        if (peek() != c)
            throw std::runtime_error(std::string("expected '") + c + "' in: " + text_);
        ++at_;
    }
    void skip_space()
    {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
            ++at_;
    }
    std::string parse_string()
    {
        expect('"');
        std::string value;
        while (peek() != '"') {
            if (at_ >= text_.size())
                throw std::runtime_error("unterminated string in: " + text_);
            if (text_[at_] == '\\') {
                ++at_;
                const char escaped = peek();
                value += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                ++at_;
            } else {
                value += text_[at_++];
            }
        }
        ++at_;
        return value;
    }

    const std::string& text_;
    std::map<std::string, std::string>& values_;
    size_t at_ = 0;
};

}  // namespace

JsonLine::JsonLine(const std::string& text)
{
    Parser parser(text, values_);
    parser.parse_object("");
    parser.finish();
}

std::string JsonLine::text(const std::string& path) const
{
    const auto found = values_.find(path);
    if (found == values_.end())
        throw std::runtime_error("no field " + path);
    return found->second;
}

long long JsonLine::number(const std::string& path) const { return std::stoll(text(path)); }

std::vector<JsonLine> parse_journal(const std::string& text)
{
    std::vector<JsonLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
