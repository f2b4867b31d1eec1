#include "training/wire.h"

#include "support/wipe.h"

namespace ostrel::training {

std::string Encode(const Message& message) {
    std::string wire;
    for (size_t i = 0; i < message.size(); ++i) {
        if (i > 0) wire += '\t';
        for (const char c : message[i]) {
            switch (c) {
                case '\\':
                    wire += "\\\\";
                    break;
                case '\t':
                    wire += "\\t";
                    break;
                case '\n':
                    wire += "\\n";
                    break;
                case '\r':
                    wire += "\\r";
                    break;
                case '\0':
                    wire += "\\0";
                    break;
                default:
                    wire += c;
            }
        }
    }
    return wire;
}

Message Decode(std::string_view wire) {
    // Each field's room is taken once, before it is filled: a field that grew would leave
    // copies of its first part behind (a card's track, for the training reader's swipes).
    const auto fieldEnd = [&](size_t from) {
        size_t end = from;
        while (end < wire.size() && wire[end] != '\t')
            end += wire[end] == '\\' && end + 1 < wire.size() ? 2 : 1;
        return end;
    };
    size_t fields = 1;
    for (size_t end = fieldEnd(0); end < wire.size(); end = fieldEnd(end + 1))
        ++fields;
    Message message;
    message.reserve(fields);
    size_t i = 0;
    for (;;) {
        const size_t end = fieldEnd(i);
        std::string& field = message.emplace_back();
        field.reserve(end - i);
        for (; i < end; ++i) {
            const char c = wire[i];
            if (c == '\\' && i + 1 < wire.size()) {
                const char e = wire[++i];
                field += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
            } else {
                field += c;
            }
        }
        if (end >= wire.size()) return message;
        i = end + 1;
    }
}

Message OkReply(std::vector<std::string> results) {
    Message reply{kOk};
    reply.insert(reply.end(), results.begin(), results.end());
    return reply;
}

Message ErrorReply(long number, const std::string& description) {
    return {kError, std::to_string(number), description};
}

void WipeMessage(Message& message) {
    for (std::string& text : message)
        Wipe(text);
}

}  // namespace ostrel::training
