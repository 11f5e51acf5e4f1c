#include "bench/build_floor.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "edog/datafile/e_dog_record.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_source_date.h"
#include "geo/geohash_int.h"

namespace bench {

namespace {

// Output text in a 1 MB buffer, written out whenever less than a line's worth
// of room is left.
class Text {
public:
    Text() : buf_(new char[kSize]), at_(buf_.get()) {}

    bool flush() {
        const auto n = static_cast<std::size_t>(at_ - buf_.get());
        at_ = buf_.get();
        return std::fwrite(buf_.get(), 1, n, stdout) == n;
    }
    void line_done() {
        if (buf_.get() + kSize - at_ < kLineMax) {
            (void)flush();
        }
    }
    void put(const char* text, std::size_t n) {
        std::memcpy(at_, text, n);
        at_ += n;
    }
    void put(char c) { *at_++ = c; }
    void fixed(double v, int precision) {
        at_ = std::to_chars(at_, buf_.get() + kSize, v, std::chars_format::fixed, precision).ptr;
    }
    void integer(long long v, int digits) {
        char digits_buf[24];
        const bool negative = v < 0;
        const unsigned long long m = negative ? 0ULL - static_cast<unsigned long long>(v)
                                              : static_cast<unsigned long long>(v);
        const char* e = std::to_chars(digits_buf, digits_buf + sizeof digits_buf, m).ptr;
        const auto n = static_cast<int>(e - digits_buf);
        if (negative) {
            put('-');
        }
        for (int z = n; z < digits; ++z) {
            put('0');
        }
        put(digits_buf, static_cast<std::size_t>(n));
    }

private:
    static constexpr std::size_t kSize = std::size_t{1} << 20;
    static constexpr std::ptrdiff_t kLineMax = 2048;  // more than any line of a plain list
    std::unique_ptr<char[]> buf_;
    char* at_;
};

bool parse(const char*& p, const char* end, long long& v) {
    const auto r = std::from_chars(p, end, v);
    p = r.ptr;
    return r.ec == std::errc{};
}

bool parse(const char*& p, const char* end, double& v) {
    const auto r = std::from_chars(p, end, v);
    p = r.ptr;
    return r.ec == std::errc{};
}

bool expect(const char*& p, const char* end, char c) {
    if (p == end || *p != c) {
        return false;
    }
    ++p;
    return true;
}

// The whole list, or false when it cannot be read.
bool read_list(std::string& list) {
    std::FILE* in = std::fopen("speedcam22.txt", "rb");
    if (in == nullptr) {
        return false;
    }
    (void)std::fseek(in, 0, SEEK_END);
    list.resize(static_cast<std::size_t>(std::ftell(in)));
    std::rewind(in);
    const bool read = std::fread(list.data(), 1, list.size(), in) == list.size();
    (void)std::fclose(in);
    return read;
}

// One line `Idex,lng,lat,Type,Speed,DirType,Direction` into `d` (code set)
// and its four integer columns, or false for a line of another shape.
bool scan_line(const char*& p, const char* end, E_DOG_DATA& d, long long& idex, long long (&f)[4]) {
    if (!parse(p, end, idex) || !expect(p, end, ',') || !parse(p, end, d.Gps_lng) ||
        !expect(p, end, ',') || !parse(p, end, d.Gps_lat)) {
        return false;
    }
    for (long long& v : f) {
        if (!expect(p, end, ',') || !parse(p, end, v)) {
            return false;
        }
    }
    if (!expect(p, end, '\n')) {
        return false;
    }
    d.Idex = static_cast<INT32>(idex);
    d.Type = static_cast<int>(f[0]);
    d.Speed = static_cast<int>(f[1]);
    d.DirType = static_cast<int>(f[2]);
    d.Direction = static_cast<int>(f[3]);
    return geo::encode_code(d.Gps_lat, d.Gps_lng, e_dog::kCodePrecision, d.encode_str);
}

void echo_line(Text& out, const E_DOG_DATA& d, long long idex, const long long (&f)[4]) {
    out.integer(idex, 1);
    out.put(',');
    out.fixed(d.Gps_lng, 6);
    out.put(',');
    out.fixed(d.Gps_lat, 6);
    for (const long long v : f) {
        out.put(',');
        out.integer(v, 1);
    }
    out.put(',');
    out.put(d.encode_str, e_dog::kCodePrecision);
    out.put('\n');
    out.line_done();
}

struct Key {
    std::uint64_t code;
    std::uint32_t index;
};

// The cameras' order by code, ties in list order.
std::vector<Key> sorted_keys(const std::vector<E_DOG_DATA>& cams) {
    std::vector<Key> keys(cams.size());
    for (std::size_t i = 0; i < cams.size(); ++i) {
        keys[i].index = static_cast<std::uint32_t>(i);
        (void)geo::code_value(cams[i].encode_str, e_dog::kCodePrecision, keys[i].code);
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.code != b.code ? a.code < b.code : a.index < b.index;
    });
    return keys;
}

bool write_data(const std::vector<E_DOG_DATA>& cams, const std::vector<Key>& keys) {
    std::FILE* data = std::fopen(e_dog_datafile, "wb");
    if (data == nullptr) {
        return false;
    }
    bool written = true;
    for (const Key& k : keys) {
        const e_dog::RecordBytes b = e_dog::encode_record(cams[k.index]);
        written = written && std::fwrite(b.data(), 1, b.size(), data) == b.size();
    }
    written = written && std::fflush(data) == 0 && ::fsync(::fileno(data)) == 0;
    return std::fclose(data) == 0 && written;
}

void print_back(Text& out, const std::vector<E_DOG_DATA>& cams, const std::vector<Key>& keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const E_DOG_DATA& r = cams[keys[i].index];
        out.integer(static_cast<long long>(i), 8);
        out.put(' ');
        out.integer(r.Idex, 8);
        for (const int v : {r.Direction, r.Type, r.DirType, r.Speed}) {
            out.put(' ');
            out.integer(v, 4);
        }
        out.put(' ');
        out.fixed(r.Gps_lat, 8);
        out.put(' ');
        out.fixed(r.Gps_lng, 8);
        out.put(' ');
        out.put(r.encode_str, e_dog::kCodePrecision);
        out.put(" \n", 2);
        out.line_done();
    }
}

}  // namespace

int floor_build() {
    std::string list;
    if (!read_list(list)) {
        return 1;
    }
    Text out;
    constexpr char kHead[] =
        "########## create_e_dog_heaplist open input file OK!\n"
        "########## create_e_dog_heaplist malloc OK!\n";
    out.put(kHead, sizeof kHead - 1);
    std::vector<E_DOG_DATA> cams;
    cams.reserve(list.size() / 30);
    const char* p = list.data();
    const char* const end = list.data() + list.size();
    while (p < end) {
        E_DOG_DATA d{};
        long long idex = 0;
        long long f[4] = {};
        if (!scan_line(p, end, d, idex, f)) {
            return 1;
        }
        echo_line(out, d, idex, f);
        cams.push_back(d);
    }
    constexpr char kMiddle[] = "=========== decode file OK!\n=========== quick sort file OK!\n";
    out.put(kMiddle, sizeof kMiddle - 1);
    const std::vector<Key> keys = sorted_keys(cams);
    if (!write_data(cams, keys)) {
        return 1;
    }
    const std::string count = "file all index:" + std::to_string(cams.size()) + "\n";
    out.put(count.data(), count.size());
    print_back(out, cams, keys);
    return out.flush() && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace bench
