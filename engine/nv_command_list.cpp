// The configured NV command list: "id:value" entries, each written as one NV item.
#include <charconv>
#include <vector>

#include <fmt/format.h>

#include "engine/nv_items.h"
#include "engine/nv_request_loop.h"
#include "engine/nv_requests.h"

namespace flintcast::engine {
namespace {

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

// Item ids are decimal and travel as 16 bits; anything else names no item.
std::optional<uint16_t> ParseItemId(std::string_view text) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(value);
}

// Values are separated by commas, and also by blanks; a field between two commas that holds
// nothing is an empty value (which no byte text matches).
std::vector<std::string_view> SplitValues(std::string_view text) {
    std::vector<std::string_view> values;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string_view field = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        size_t before = values.size();
        size_t i = 0;
        while (i < field.size()) {
            while (i < field.size() && field[i] == ' ') ++i;
            size_t j = i;
            while (j < field.size() && field[j] != ' ') ++j;
            if (j > i) values.push_back(field.substr(i, j - i));
            i = j;
        }
        if (values.size() == before) values.push_back({});
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return values;
}

}  // namespace

std::optional<uint8_t> HexTextToByte(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    const auto high = HexDigit(text[0]);
    const auto low = HexDigit(text[1]);
    if (!high || !low) return std::nullopt;
    return static_cast<uint8_t>(*high << 4 | *low);
}

void NvItems::WriteNvCommandList() {
    for (const std::string& entry : ctx_.config.nvCommandList) {
        const size_t colon = entry.find(':');
        if (colon == std::string::npos || colon == 0) {
            ctx_.reporter.ShowError("NVID is not contained in the configration!", 0);
            return;
        }
        const std::string_view idText = std::string_view(entry).substr(0, colon);
        const std::string_view valueText = std::string_view(entry).substr(colon + 1);
        if (valueText.empty()) {
            ctx_.reporter.ShowError("NVData is is incorrect!", 0);
            return;
        }
        if (ctx_.ok()) WriteNvCommand(idText, valueText);
    }
}

void NvItems::WriteNvCommand(std::string_view idText, std::string_view valueText) {
    const auto id = ParseItemId(idText);
    if (!id) {
        ctx_.reporter.ShowError(fmt::format("NVID is not a number: {}", idText), 0);
        return;
    }
    const auto values = SplitValues(valueText);
    if (values.size() > kMaxCommandValues) {
        ctx_.reporter.ShowError("NVData length is incorrect!", 0);
        return;
    }
    std::vector<uint8_t> data;
    for (std::string_view value : values) {
        const auto byte = HexTextToByte(value);
        if (!byte) {
            ctx_.reporter.ShowError("String to hex failed!", 0);
            return;
        }
        data.push_back(*byte);
    }
    const auto answer = RunNvRequest(ctx_, NvWriteRequest(*id, data), kNvCommandRule, AnswerItem{1, *id});
    if (!answer) {
        ctx_.reporter.ShowError(fmt::format("[{}]:Fail to write NV", idText), 0);
        return;
    }
    if (CheckNvStatus(ctx_.reporter, *answer, "Custom NV", NvStatusVariant::Custom) != 0) return;
    if (!ctx_.ok()) {
        ctx_.reporter.ShowStatus(LineClass::FailureNotice, "Fail to write NV......");
        return;
    }
    ctx_.reporter.ShowStatus(LineClass::Ordinary, fmt::format("[{}]Write NV......OK", idText));
}

}  // namespace flintcast::engine
