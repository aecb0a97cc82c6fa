#include "platform/line_writer.h"

#include <ostream>

#include "platform/escaped_text.h"

namespace qv {

LineWriter::LineWriter(std::ostream& out, std::string_view end) : out_(&out), end_(end) {}

LineWriter::LineWriter(std::string& buffer, std::string_view end) : buffer_(&buffer), end_(end) {}

void LineWriter::put(Name name) {
    appendEscaped(to(), name.text);
}

void LineWriter::put(Message message) {
    for (std::string_view rest = message.text;;) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (line.ends_with('\r')) line.remove_suffix(1);
        appendEscaped(to(), line);
        if (end == std::string_view::npos) return;
        to() += '\n';
        rest.remove_prefix(end + 1);
    }
}

void LineWriter::emit() {
    if (!out_ || pending_.empty()) return;
    out_->write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    pending_.clear();
}

void LineWriter::flush() {
    if (out_) out_->flush();
}

}  // namespace qv
