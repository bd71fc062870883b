#include "tests/bench/report.h"

#include <cstdio>
#include <ostream>
#include <string_view>

#include "process_window/process_table.h"

namespace wtsscope::bench {
namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string Padded(std::string text, std::size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

std::string ColumnName(int column) {
    // The headers are ASCII.
    const std::wstring_view header = kProcessColumns[column].header;
    return std::string(header.begin(), header.end());
}

std::string Grouped(std::size_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

void Report::Print(std::ostream& out) const {
    out << "| measure | N | median ms | x " << ratioOf_ << " |\n|---|--:|--:|--:|\n";
    for (const Measurement& row : measurements_) {
        const std::string ratio = !row.extra.empty() ? row.extra
                                  : row.ratio > 0    ? Format("%.2f", row.ratio)
                                  : row.floorMilliseconds > 0
                                      ? Format("%.2f", row.milliseconds / row.floorMilliseconds)
                                      : "";
        out << "| " << Padded(row.what, 31, false) << " | " << Padded(Grouped(row.count), 7, true)
            << " | " << Padded(row.extra.empty() ? Format("%.3f", row.milliseconds) : "", 9, true)
            << " | " << Padded(ratio, 7, true) << " |\n";
    }
    out << "\n| target | measured | limit | verdict |\n|---|--:|--:|---|\n";
    for (const Target& target : targets_) {
        out << "| " << Padded(target.what, 44, false) << " | "
            << Padded(Format("%.2f", target.value), 8, true) << " | "
            << Padded(Format("%g", target.limit), 5, true) << " | "
            << (target.Met()    ? "met"
                : target.judged ? "MISSED"
                                : "missed (not judged)")
            << " |\n";
    }
}

bool Report::Passed() const {
    return std::all_of(targets_.begin(), targets_.end(),
                       [](const Target& target) { return target.Met() || !target.judged; });
}

}  // namespace wtsscope::bench
