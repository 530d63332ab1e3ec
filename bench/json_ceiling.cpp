// The ceiling for the replay tool on one core: simdjson parses every line of a
// JSONL file into its DOM and writes the same value back as JSON, with no codec
// and no host values in between, onto standard output; the caller times it.
// The file is read a block at a time and each line parsed where it lies, as the
// tool reads it: loading a large file whole costs more in page faults than the
// parsing, and would time the kernel instead.
//   bench_json_ceiling FILE >/dev/null
#include <simdjson.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t blockBytes = size_t{1} << 20;

class Rewriter {
public:
    void line(const char* text, size_t length)
    {
        simdjson::dom::element value;
        // The buffer holds at least SIMDJSON_PADDING readable bytes past every line.
        if (length > 0 && !parser_.parse(text, length, false).get(value)) {
            written_.append(simdjson::minify(value));
            written_.push_back('\n');
        }
        if (written_.size() >= blockBytes)
            flush();
    }

    void flush()
    {
        std::fwrite(written_.data(), 1, written_.size(), stdout);
        written_.clear();
    }

private:
    simdjson::dom::parser parser_;
    std::string written_;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_json_ceiling FILE\n");
        return 2;
    }
    std::FILE* input = std::fopen(argv[1], "rb");
    if (input == nullptr) {
        std::fprintf(stderr, "bench_json_ceiling: cannot read %s\n", argv[1]);
        return 1;
    }
    Rewriter rewriter;
    std::vector<char> buffer;
    size_t filled = 0;
    for (;;) {
        buffer.resize(filled + blockBytes + simdjson::SIMDJSON_PADDING);
        const size_t read = std::fread(buffer.data() + filled, 1, blockBytes, input);
        filled += read;
        size_t begin = 0;
        while (const auto* newline =
                   static_cast<const char*>(std::memchr(buffer.data() + begin, '\n', filled - begin))) {
            const size_t end = static_cast<size_t>(newline - buffer.data());
            rewriter.line(buffer.data() + begin, end - begin);
            begin = end + 1;
        }
        if (read == 0) {
            // The last line may lack its newline.
            rewriter.line(buffer.data() + begin, filled - begin);
            break;
        }
        // The unfinished last line moves to the front, to be completed by the next block.
        filled -= begin;
        std::memmove(buffer.data(), buffer.data() + begin, filled);
    }
    std::fclose(input);
    rewriter.flush();
    return 0;
}
