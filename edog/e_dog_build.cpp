// The database build: text camera list -> sorted binary data file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "edog/atomic_file.h"
#include "edog/e_dog_internal.h"
#include "edog/e_dog_record.h"
#include "edog/e_dog_source_date.h"
#include "geo/geohash.h"

namespace {

constexpr char kListName[] = "speedcam22.txt";
constexpr int kFill = 0x7f;  // fills the line buffer before a read; any byte but NUL

// The build's node pool: one allocation, left untouched so that memory grows
// with the cameras read rather than with the capacity. Published through
// edog_heap_buffer_addr for as long as the build runs, released on every path.
class NodePool {
public:
    explicit NodePool(std::uint32_t capacity)
        : nodes_(new (std::nothrow) GPSNode[capacity]), capacity_(capacity) {
        edog_heap_buffer_addr = nodes_.get();
    }
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    NodePool(NodePool&&) = delete;
    NodePool& operator=(NodePool&&) = delete;
    ~NodePool() { release(); }

    [[nodiscard]] bool ok() const { return nodes_ != nullptr; }
    [[nodiscard]] std::uint32_t capacity() const { return capacity_; }
    GPSNode& operator[](std::uint32_t i) { return nodes_[i]; }

    void release() {
        nodes_.reset();
        edog_heap_buffer_addr = nullptr;
    }

private:
    std::unique_ptr<GPSNode[]> nodes_;
    std::uint32_t capacity_;
};

// Reads the camera list into a list of pool nodes behind `head`, in line
// order. Returns 0, or -1 when the build cannot go on.
int import_list(std::FILE* list, NodePool& pool) {
    GPSNode& head = pool[0];
    head.data = E_DOG_DATA{};
    head.link = nullptr;
    GPSNode* tail = &head;
    e_dog_list_size = 0;

    E_DOG_DATA data{};
    char buf[e_dog::kLineBytes] = {};
    unsigned long line_no = 0;
    // The buffer is filled with a byte other than NUL before every read, so
    // that the last NUL in it is the one fgets wrote: the piece's length
    // counts any NUL bytes the piece itself holds.
    constexpr int kReadBytes = static_cast<int>(sizeof buf) - 1;
    std::memset(buf, kFill, sizeof buf - 1);
    while (std::fgets(buf, kReadBytes, list) != nullptr) {
        ++line_no;
        const auto* end = static_cast<const char*>(::memrchr(buf, '\0', sizeof buf - 1));
        const auto length = static_cast<std::size_t>(end - buf);
        if (e_dog::scan_camera_line(buf, length, data)) {
            std::printf("Chack Str:%s\n", buf);
        }
        const char* code = geohash_encode(data.Gps_lat, data.Gps_lng, e_dog::kCodePrecision);
        if (code == nullptr) {
            std::printf("########## create_e_dog_heaplist skip line %lu: bad position\n", line_no);
            std::memset(buf, kFill, sizeof buf - 1);
            continue;
        }
        std::memset(data.encode_str, 0, sizeof data.encode_str);
        std::strncpy(data.encode_str, code, sizeof data.encode_str - 1);

        ++e_dog_list_size;
        if (e_dog_list_size >= pool.capacity()) {
            std::printf("########## create_e_dog_heaplist list full: more than %u cameras!\n",
                        pool.capacity() - 1);
            pool.release();
            return -1;
        }
        GPSNode& node = pool[e_dog_list_size];
        node.data = data;
        node.link = nullptr;
        tail->link = &node;
        tail = &node;
        std::printf("%ld,%lf,%lf,%d,%d,%d,%d,%s\n", static_cast<long>(data.Idex), data.Gps_lng,
                    data.Gps_lat, data.Type, data.Speed, data.DirType, data.Direction,
                    data.encode_str);
        std::memset(buf, kFill, sizeof buf - 1);
    }
    if (std::ferror(list) != 0) {
        // A list that cannot be read to its end must not replace the data
        // file with a shortened one.
        std::printf("########## create_e_dog_heaplist read input file: %s fail!\n", e_dog_usrfile);
        return -1;
    }
    std::puts("=========== decode file OK!");
    return 0;
}

enum class WriteResult : std::uint8_t { kOk, kOpenFailed, kWriteFailed };

// Writes the records behind `first` as the new data file, whole or not at all.
WriteResult write_list(const GPSNode* first, long& count) {
    e_dog::AtomicFile out(e_dog_datafile);
    if (!out.ok()) {
        return WriteResult::kOpenFailed;
    }
    bool ok = true;
    count = 0;
    for (const GPSNode* n = first; n != nullptr && ok; n = n->link) {
        const e_dog::RecordBytes bytes = e_dog::encode_record(n->data);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), out.stream()) == bytes.size();
        ++count;
    }
    return ok && out.commit() ? WriteResult::kOk : WriteResult::kWriteFailed;
}

// Reads the data file back and prints every whole record.
void print_back() {
    const e_dog::UniqueFile in = e_dog::open_data_file();
    if (!in) {
        return;
    }
    E_DOG_DATA rec{};
    long count = 0;
    while (e_dog::read_record(in.get(), rec)) {
        std::printf("%.8ld %.8ld %.4d %.4d %.4d %.4d %.8f %.8f %s \n", count,
                    static_cast<long>(rec.Idex), rec.Direction, rec.Type, rec.DirType, rec.Speed,
                    rec.Gps_lat, rec.Gps_lng, e_dog::code_text(rec).text);
        ++count;
    }
}

}  // namespace

bool e_dog::scan_camera_line(const char* line, std::size_t length, E_DOG_DATA& data) {
    if (line[0] == ',') {
        return true;
    }
    // Sized to the line buffer: a column can never be longer than a line.
    char temp1[kLineBytes] = {};
    char temp2[kLineBytes] = {};
    const char* from = line;
    if (line[0] < '0' || line[0] > '9') {
        // Room for a byte-order mark: the first three bytes are skipped,
        // whatever they are (a NUL among them too), as far as the piece goes.
        from = line + (length < 3 ? length : 3);
    }
    long idex = data.Idex;
    static_assert(sizeof(int) == sizeof(data.Type));
    // Fields that do not scan keep the previous line's values, so the count of
    // matched fields is not needed.
    // NOLINTNEXTLINE(cert-err34-c)
    (void)std::sscanf(from, "%ld,%512[^,],%512[^,],%d,%d,%d,%d", &idex, temp1, temp2, &data.Type,
                      &data.Speed, &data.DirType, &data.Direction);
    data.Idex = static_cast<INT32>(idex);
    data.Gps_lat = std::strtod(temp2, nullptr);
    data.Gps_lng = std::strtod(temp1, nullptr);
    return false;
}

int e_dog::build_data_file(std::uint32_t pool_nodes) {
    static_assert(sizeof kListName <= sizeof e_dog_usrfile);
    std::memcpy(e_dog_usrfile, kListName, sizeof kListName);
    const UniqueFile list = open_regular_file(e_dog_usrfile);
    if (!list) {
        std::printf("########## create_e_dog_heaplist open input file: %s fail!\n", e_dog_usrfile);
        return -1;
    }
    std::puts("########## create_e_dog_heaplist open input file OK!");

    NodePool pool(pool_nodes);
    if (!pool.ok() || pool_nodes == 0) {
        std::puts("I am mpl fail in create_e_dog_heaplist!");
        return -1;
    }
    std::puts("########## create_e_dog_heaplist malloc OK!");
    if (import_list(list.get(), pool) != 0) {
        return -1;
    }

    GPSNode* head = &pool[0];
    e_dog_quick_sort(head, nullptr);
    std::puts("=========== quick sort file OK!");

    long count = 0;
    switch (write_list(head->link, count)) {
    case WriteResult::kOpenFailed:
        std::printf("########## e_dog_write_list_to_file open input file: %s fail!\n",
                    e_dog_datafile);
        return -1;
    case WriteResult::kWriteFailed:
        std::printf("########## e_dog_write_list_to_file write file: %s fail!\n", e_dog_datafile);
        return -1;
    case WriteResult::kOk:
        break;
    }
    std::printf("file all index:%ld\n", count);
    print_back();
    return 0;
}

int e_dog_updata_tsk() {
    return e_dog::build_data_file(e_dog::kPoolNodes);
}
