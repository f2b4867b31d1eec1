#include "training/wire.h"

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
    Message message(1);
    for (size_t i = 0; i < wire.size(); ++i) {
        const char c = wire[i];
        if (c == '\t') {
            message.emplace_back();
        } else if (c == '\\' && i + 1 < wire.size()) {
            const char e = wire[++i];
            message.back() += e == 't'   ? '\t'
                              : e == 'n' ? '\n'
                              : e == 'r' ? '\r'
                              : e == '0' ? '\0'
                                         : e;
        } else {
            message.back() += c;
        }
    }
    return message;
}

Message OkReply(std::vector<std::string> results) {
    Message reply{kOk};
    reply.insert(reply.end(), results.begin(), results.end());
    return reply;
}

Message ErrorReply(long number, const std::string& description) {
    return {kError, std::to_string(number), description};
}

}  // namespace ostrel::training
