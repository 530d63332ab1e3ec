// The ceiling for the replay tool on one core: simdjson parses every line of a
// JSONL file into its DOM and writes the same value back as JSON, with no codec
// and no host values in between, onto standard output; the caller times it.
//   bench_json_ceiling FILE >/dev/null
#include <simdjson.h>

#include <cstdio>
#include <string>
#include <string_view>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_json_ceiling FILE\n");
        return 2;
    }
    simdjson::padded_string input;
    if (simdjson::padded_string::load(argv[1]).get(input)) {
        std::fprintf(stderr, "bench_json_ceiling: cannot read %s\n", argv[1]);
        return 1;
    }
    simdjson::dom::parser parser;
    std::string written;
    const std::string_view text(input.data(), input.size());
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find('\n', begin);
        if (end == std::string_view::npos)
            end = text.size();
        simdjson::dom::element value;
        if (end > begin && !parser.parse(text.data() + begin, end - begin, true).get(value)) {
            written.append(simdjson::minify(value));
            written.push_back('\n');
        }
        if (written.size() >= (size_t{1} << 20)) {
            std::fwrite(written.data(), 1, written.size(), stdout);
            written.clear();
        }
        begin = end + 1;
    }
    std::fwrite(written.data(), 1, written.size(), stdout);
    return 0;
}
