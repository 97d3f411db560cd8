// The report for any list of records: it parses back to exactly the records
// and matches the JSON library's own styled output.
#include "alphabets.h"
#include "fuzz_input.h"
#include "report/camera_report.h"
#include "report/styled_text.h"
#include "report/utf8.h"
#include "support/report_oracle.h"

using namespace camera_info;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::u16string alphabet = reportAlphabet();
    CameraList cameras(input.below(8));
    for (CameraInfo& camera : cameras) {
        camera.name = input.text(alphabet, 300);
        camera.vid = input.text(alphabet, 8);
        camera.pid = input.text(alphabet, 8);
    }
    const auto count = static_cast<std::int32_t>(cameras.size());
    const Json::Value document = buildCameraReport(cameras, count);
    const std::string text = toStyledText(document);

    if (lowercaseUnicodeEscapes(text) != libraryStyledText(document)) fuzzFinding("differs from the library's layout");
    Json::Value parsed;
    if (!parseReport(text, parsed)) fuzzFinding("report does not parse");
    if (cameras.empty() != parsed.isNull() || parsed.size() != cameras.size()) fuzzFinding("wrong number of records");
    for (Json::ArrayIndex i = 0; i < parsed.size(); ++i) {
        if (parsed[i].size() != 3 || parsed[i]["name"].asString() != toUtf8(cameras[i].name) ||
            parsed[i]["vid"].asString() != toUtf8(cameras[i].vid) ||
            parsed[i]["pid"].asString() != toUtf8(cameras[i].pid))
            fuzzFinding("a record did not come back");
    }
    return 0;
}
