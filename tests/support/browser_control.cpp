// The two browsers' remote protocols, as far as evaluating an expression in the page: JSON
// messages, read back by looking for the fields wanted rather than by a full parser.
#include "tests/support/browser_control.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/clock.h"

namespace {

std::int64_t deadlineIn(double seconds) { return steadyNowNs() + std::int64_t(seconds * 1e9); }

// Appends what arrives on fd to `into` until the deadline; false when the deadline passed or the
// other end closed.
bool readMore(int fd, std::string& into, std::int64_t untilNs) {
    const std::int64_t left = (untilNs - steadyNowNs()) / 1'000'000;
    pollfd wait{fd, POLLIN, 0};
    if (left <= 0 || poll(&wait, 1, int(left)) <= 0) return false;
    char chunk[65536];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    into.append(chunk, std::size_t(n));
    return true;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}


std::string field(const std::string& answer, const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    const std::size_t at = answer.find(key);
    if (at == std::string::npos) return "";
    return answer.substr(at + key.size(), answer.find('"', at + key.size()) - at - key.size());
}

class Chromium final : public PageControl {
public:
    Chromium(int commands, int answers) : to_(commands), from_(answers) {}

    bool attach(double seconds) {
        const std::int64_t until = deadlineIn(seconds);
        while (steadyNowNs() < until) {
            const std::string targets = call("Target.getTargets", "{}", 5.0);
            const std::size_t page = targets.find("\"type\":\"page\"");
            const std::size_t id = page == std::string::npos ? page : targets.rfind("\"targetId\":\"", page);
            if (id != std::string::npos) {
                const std::string target = field(targets.substr(id), "targetId");
                const std::string attached =
                    call("Target.attachToTarget", "{\"targetId\":\"" + target + "\",\"flatten\":true}", 5.0);
                session_ = field(attached, "sessionId");
                if (!session_.empty()) return true;
            }
            usleep(100000);
        }
        return false;
    }

    std::string evaluate(const std::string& expression, double seconds) override {
        return stringValue(call("Runtime.evaluate",
                                "{\"expression\":" + jsonString("String(" + expression + ")") +
                                    ",\"returnByValue\":true}",
                                seconds));
    }

    std::string pressSpace() override {
        for (const char* type : {"keyDown", "keyUp"}) {
            const std::string answer =
                call("Input.dispatchKeyEvent",
                     std::string("{\"type\":\"") + type +
                         "\",\"key\":\" \",\"code\":\"Space\",\"text\":\" \",\"windowsVirtualKeyCode\":32}",
                     5.0);
            if (answer.empty() || answer.find("\"error\"") != std::string::npos) return answer.empty() ? "no answer" : answer;
        }
        return "";
    }

private:
    // The answer to one command; events and other answers on the way are dropped.
    std::string call(const std::string& method, const std::string& params, double seconds) {
        const int id = next_++;
        std::string message = "{\"id\":" + std::to_string(id) + ",";
        if (!session_.empty()) message += "\"sessionId\":\"" + session_ + "\",";
        message += "\"method\":\"" + method + "\",\"params\":" + params + "}";
        message.push_back('\0');
        if (!writeAll(to_, message)) return "";
        const std::string tag = "{\"id\":" + std::to_string(id) + ",";
        const std::int64_t until = deadlineIn(seconds);
        for (;;) {
            const std::size_t end = buffer_.find('\0');
            if (end != std::string::npos) {
                std::string answer = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (answer.rfind(tag, 0) == 0) return answer;
                continue;
            }
            if (!readMore(from_, buffer_, until)) return "";
        }
    }

    int to_;
    int from_;
    int next_ = 1;
    std::string buffer_;
    std::string session_;
};

// Marionette's messages are "LENGTH:JSON"; a command is [0, id, name, parameters] and its answer
// [1, id, error, result].
class Firefox final : public PageControl {
public:
    explicit Firefox(int socket) : fd_(socket) {}
    ~Firefox() override { close(fd_); }
    Firefox(const Firefox&) = delete;
    Firefox& operator=(const Firefox&) = delete;

    bool begin(double seconds) {
        const std::int64_t until = deadlineIn(seconds);
        if (receive(until).find("marionetteProtocol") == std::string::npos) return false;
        return command("WebDriver:NewSession", "{\"capabilities\":{}}", until).find("sessionId") != std::string::npos;
    }

    std::string evaluate(const std::string& expression, double seconds) override {
        return stringValue(command("WebDriver:ExecuteScript",
                                   "{\"script\":" + jsonString("return String(" + expression + ");") +
                                       ",\"args\":[]}",
                                   deadlineIn(seconds)));
    }

    std::string pressSpace() override {
        const std::string answer = command(
            "WebDriver:PerformActions",
            "{\"actions\":[{\"type\":\"key\",\"id\":\"keyboard\",\"actions\":[{\"type\":\"keyDown\",\"value\":\" \"},"
            "{\"type\":\"keyUp\",\"value\":\" \"}]}]}",
            deadlineIn(2.0));
        // [1, id, null, result] when done; [1, id, {error}, null] when not. Marionette answers
        // once the page has handled the keys, and the page starts the show on the first: on a
        // busy machine that takes a while, and the answer is then left to arrive among later ones.
        const std::size_t comma = answer.find(',', 3);
        if (answer.empty() || (comma != std::string::npos && answer.compare(comma, 6, ",null,") == 0)) return "";
        return answer;
    }

private:
    std::string command(const std::string& name, const std::string& parameters, std::int64_t untilNs) {
        const int id = next_++;
        const std::string body = "[0," + std::to_string(id) + ",\"" + name + "\"," + parameters + "]";
        if (!writeAll(fd_, std::to_string(body.size()) + ":" + body)) return "";
        const std::string tag = "[1," + std::to_string(id) + ",";
        for (;;) {
            const std::string answer = receive(untilNs);
            if (answer.empty() || answer.rfind(tag, 0) == 0) return answer;
        }
    }

    std::string receive(std::int64_t untilNs) {
        for (;;) {
            const std::size_t colon = buffer_.find(':');
            if (colon != std::string::npos) {
                const std::size_t length = std::size_t(std::strtoull(buffer_.c_str(), nullptr, 10));
                if (buffer_.size() >= colon + 1 + length) {
                    std::string message = buffer_.substr(colon + 1, length);
                    buffer_.erase(0, colon + 1 + length);
                    return message;
                }
            }
            if (!readMore(fd_, buffer_, untilNs)) return "";
        }
    }

    int fd_;
    int next_ = 1;
    std::string buffer_;
};

}  // namespace

std::string stringValue(const std::string& answer) {
    const std::size_t at = answer.find("\"value\":\"");
    std::string value;
    if (at == std::string::npos) return value;
    for (std::size_t i = at + 9; i < answer.size() && answer[i] != '"'; ++i) {
        if (answer[i] == '\\' && i + 1 < answer.size()) {
            ++i;
            value.push_back(answer[i] == 'n' ? '\n' : answer[i]);
        } else {
            value.push_back(answer[i]);
        }
    }
    return value;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::unique_ptr<PageControl> chromiumControl(int commands, int answers, double seconds) {
    auto control = std::make_unique<Chromium>(commands, answers);
    if (!control->attach(seconds)) return nullptr;
    return control;
}

std::unique_ptr<PageControl> firefoxControl(const std::string& profile, double seconds) {
    const std::int64_t until = deadlineIn(seconds);
    int port = 0;
    while (port == 0 && steadyNowNs() < until) {
        std::ifstream file(profile + "/MarionetteActivePort");
        if (!(file >> port)) {
            port = 0;
            usleep(100000);
        }
    }
    for (; port > 0 && steadyNowNs() < until; usleep(100000)) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            auto control = std::make_unique<Firefox>(fd);
            const double left = double(until - steadyNowNs()) * 1e-9;
            if (control->begin(left > 1.0 ? left : 1.0)) return control;
            return nullptr;
        }
        if (fd >= 0) close(fd);
    }
    return nullptr;
}
