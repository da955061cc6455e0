#include "CompoundFileChecker.h"

#include <algorithm>
#include <cstring>

#include "foundation/storage/ElementName.h"

namespace vxtest {

namespace {

constexpr std::uint32_t kCluster = 32768;
constexpr std::uint32_t kPerCluster = kCluster / 8;
constexpr std::uint32_t kBit = 0x80000000u;

struct Reader {
    const std::vector<std::uint8_t>& bytes;
    std::uint32_t u32(std::uint64_t at) const
    {
        if (at + 4 > bytes.size())
            return 0;
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
    }
    std::uint64_t u64(std::uint64_t at) const { return u32(at) | std::uint64_t(u32(at + 4)) << 32; }
    std::uint8_t byte(std::uint64_t at) const { return at < bytes.size() ? bytes[at] : 0; }
};

std::uint64_t Offset(std::uint32_t cluster)
{
    return std::uint64_t(cluster - 2) * kCluster + 512;
}

struct Walker {
    Reader r;
    std::uint32_t count = 0;
    std::vector<std::uint32_t> next, prev;
    std::vector<char> role; // 0 unclaimed, 'F' free, 'R' released, 'M' map, 'E' element, 'H' heads
    std::string error;

    bool Fail(const std::string& what)
    {
        if (error.empty())
            error = what;
        return false;
    }

    bool Directory(const std::vector<std::uint8_t>& bytes, FileNode& node, int depth)
    {
        if (depth > 64)
            return Fail("storages nested too deep");
        if (bytes.empty())
            return true;
        Reader d { bytes };
        const std::uint32_t n = d.u32(0);
        if (bytes.size() < 8 || n + d.u32(4) != 0)
            return Fail("directory count and negated count disagree");
        if (n > 1024)
            return Fail("more than 1024 elements");
        if (bytes.size() != 8 + std::size_t(n) * 160)
            return Fail("directory size does not match its count");
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t* rec = bytes.data() + 8 + i * 160;
            FileNode child;
            bool terminated = false;
            for (int k = 0; k < 32; ++k) {
                const char16_t u = static_cast<char16_t>(rec[2 * k] | rec[2 * k + 1] << 8);
                if (u == 0) {
                    terminated = true;
                    for (int z = 2 * k; z < 64; ++z)
                        if (rec[z] != 0)
                            return Fail("name field not zero-padded");
                    break;
                }
                child.name.push_back(u);
            }
            if (!terminated || child.name.empty() || child.name.size() > 31)
                return Fail("bad element name");
            for (const auto& other : node.children)
                if (KEL::NamesEqual(other.name, child.name))
                    return Fail("two elements of one name");
            child.type = Reader { bytes }.u32(8 + i * 160 + 140);
            if (child.type != 1 && child.type != 2)
                return Fail("bad element type");
            const std::vector<std::uint8_t> record(rec, rec + 160);
            std::vector<std::uint8_t> data;
            if (!ChainFromRecord(record, data, "element"))
                return false;
            if (child.type == 1) {
                if (!Directory(data, child, depth + 1))
                    return false;
            } else {
                child.size = Reader { record }.u64(80);
                child.data = std::move(data);
            }
            node.children.push_back(std::move(child));
        }
        return true;
    }

    bool ChainFromRecord(
        const std::vector<std::uint8_t>& record, std::vector<std::uint8_t>& data, const std::string& who)
    {
        const Reader rec { record };
        const std::uint32_t first = rec.u32(72);
        const std::uint64_t size = rec.u64(80);
        const std::uint32_t end = rec.u32(88);
        if (rec.u64(64) != 0 || rec.u32(76) != 0 || rec.u32(92) != 0)
            return Fail(who + ": reserved record fields not zero");
        for (int i = 144; i < 160; ++i)
            if (record[i] != 0)
                return Fail(who + ": reserved tail not zero");
        return ChainOf(first, size, end, data, who);
    }

    bool ChainOf(std::uint32_t first, std::uint64_t size, std::uint32_t end, std::vector<std::uint8_t>& data,
        const std::string& who)
    {
        if (first == 0)
            return size == 0 && end == 0 ? true : Fail(who + ": size or end without a first cluster");
        const std::uint64_t length = size == 0 ? 1 : (size + kCluster - 1) / kCluster;
        if (length > count)
            return Fail(who + ": chain longer than the map");
        // Bytes beyond the end of the file were never written; they are not kept (a bound on
        // what a corrupt size can make this allocate).
        data.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, r.bytes.size())), 0);
        std::uint32_t c = first, before = 0;
        for (std::uint64_t i = 0; i < length; ++i) {
            if (c < 2 || c >= count)
                return Fail(who + ": cluster outside the map");
            if (role[c] != 0)
                return Fail(who + ": cluster " + std::to_string(c) + " claimed twice or free");
            if (prev[c] != before)
                return Fail(who + ": broken prev link");
            role[c] = 'E';
            const std::uint64_t base = i * kCluster;
            const std::uint64_t n = std::min<std::uint64_t>(kCluster, data.size() > base ? data.size() - base : 0);
            const std::uint64_t from = Offset(c);
            if (n && from < r.bytes.size())
                std::memcpy(data.data() + base, r.bytes.data() + from,
                    static_cast<std::size_t>(std::min<std::uint64_t>(n, r.bytes.size() - from)));
            before = c;
            if (i + 1 < length)
                c = next[c];
        }
        if (next[c] != 0)
            return Fail(who + ": chain runs past its size");
        const std::uint32_t bit = size != 0 && size % kCluster == 0 ? kBit : 0;
        if (end != (c | bit))
            return Fail(who + ": end cluster " + std::to_string(end) + " does not match the chain (first "
                + std::to_string(first) + ", size " + std::to_string(size) + ", last " + std::to_string(c) + ")");
        return true;
    }
};

} // namespace

std::string CheckCompoundFile(const std::vector<std::uint8_t>& bytes, CheckedFile& out, bool strict)
{
    out = CheckedFile {};
    Reader r { bytes };
    if (bytes.size() < 512)
        return "shorter than the header";
    const char16_t sig[] = u"Morvell Compound File";
    for (int i = 0; i < 64; ++i) {
        const char16_t want = i < 21 ? sig[i] : 0;
        if ((bytes[2 * i] | bytes[2 * i + 1] << 8) != want)
            return "bad signature";
    }
    if (r.u32(128) != 29 || r.u32(132) != 512 || r.u32(136) != 0x20000 || r.u32(140) != 0x7FFFFFFF || r.u32(144) != 0
        || r.u32(152) != 15 || r.u32(180) != 0)
        return "bad fixed header field";
    const std::uint32_t g = r.u32(148);
    if (g > 1)
        return "bad generation";
    out.generation = g;
    const std::uint32_t count = r.u32(156 + 4 * g);
    if (count + r.u32(164 + 4 * g) != 0)
        return "map count and negated count disagree";
    if (count < kPerCluster || count % kPerCluster != 0)
        return "map count not a whole number of clusters";
    out.mapCount = count;
    out.mapFirst[0] = r.u32(172);
    out.mapFirst[1] = r.u32(176);
    const std::uint32_t mapFirst = out.mapFirst[g];
    const std::uint32_t mapClusters = count / kPerCluster;
    if (mapFirst < 2 || mapFirst + std::uint64_t(mapClusters) > count)
        return "map run outside the map";
    if (Offset(mapFirst) + std::uint64_t(count) * 8 > bytes.size())
        return "map past the end of the file";

    Walker w { r, count, std::vector<std::uint32_t>(count), std::vector<std::uint32_t>(count),
        std::vector<char>(count, 0), {} };
    for (std::uint32_t i = 0; i < count; ++i) {
        w.next[i] = r.u32(Offset(mapFirst) + 8ull * i);
        w.prev[i] = r.u32(Offset(mapFirst) + 8ull * i + 4);
    }
    if (w.prev[0] != kBit || w.prev[1] != 0)
        return "bad list heads";
    w.role[0] = w.role[1] = 'H';
    std::uint32_t before = 0;
    for (std::uint32_t c = w.next[0]; c != 0; before = c, c = w.next[c]) {
        if (c < 2 || c >= count || w.role[c])
            return "free list leaves the map or loops";
        if (w.prev[c] != (before | kBit))
            return "free list prev link broken";
        w.role[c] = 'F';
    }
    before = 1;
    for (std::uint32_t c = w.next[1]; c != 0; before = c, c = w.next[c]) {
        if (c < 2 || c >= count || w.role[c])
            return "release list leaves the map or loops";
        if (w.prev[c] != before)
            return "release list prev link broken";
        w.role[c] = 'R';
    }
    for (std::uint32_t c = 2; c < count; ++c)
        if ((w.prev[c] & kBit) && w.role[c] != 'F')
            return "free-marked cluster not on the free list";
    auto claimRun = [&](std::uint32_t first, std::uint32_t n) {
        for (std::uint32_t c = first; c < first + n; ++c) {
            if (c >= count || w.role[c] != 0 || w.prev[c] != (c == first ? 0 : c - 1)
                || w.next[c] != (c + 1 < first + n ? c + 1 : 0))
                return false;
            w.role[c] = 'M';
        }
        return true;
    };
    if (!claimRun(mapFirst, mapClusters))
        return "map run is not its own chain";
    // The other copy names the map of the commit before. After a commit that failed part-way it
    // may name a run the valid map knows nothing of: only a strict check insists on it.
    const std::uint32_t otherFirst = out.mapFirst[g ^ 1];
    if (otherFirst != 0) {
        const std::uint32_t otherCount = r.u32(156 + 4 * (g ^ 1));
        const bool fieldsAgree = otherCount + r.u32(164 + 4 * (g ^ 1)) == 0 && otherCount <= count
            && otherCount % kPerCluster == 0 && otherCount != 0;
        std::vector<char> saved = w.role;
        if (!fieldsAgree || otherFirst == mapFirst || !claimRun(otherFirst, otherCount / kPerCluster)) {
            if (strict)
                return "other copy's map run is not its own chain (map " + std::to_string(mapFirst) + ", other "
                    + std::to_string(otherFirst) + ", other count " + std::to_string(otherCount) + ", role "
                    + std::to_string(int(saved[otherFirst < count ? otherFirst : 0])) + ")";
            w.role = std::move(saved);
        }
    }

    // The root record and the tree below it.
    std::vector<std::uint8_t> rootRecord(bytes.begin() + 184 + 160 * g, bytes.begin() + 184 + 160 * (g + 1));
    const char16_t rootName[] = u"KELRootStorage";
    for (int i = 0; i < 15; ++i)
        if ((rootRecord[2 * i] | rootRecord[2 * i + 1] << 8) != rootName[i])
            return "bad root name";
    for (int i = 28; i < 64; ++i)
        if (rootRecord[i] != 0)
            return "root name not zero-padded";
    if (Reader { rootRecord }.u32(140) != 1)
        return "root is not a storage";
    out.root.name = rootName;
    out.root.type = 1;
    std::vector<std::uint8_t> directory;
    if (!w.ChainFromRecord(rootRecord, directory, "root") || !w.Directory(directory, out.root, 0))
        return w.error;
    if (strict)
        for (std::uint32_t c = 2; c < count; ++c)
            if (w.role[c] == 0)
                return "used cluster " + std::to_string(c) + " belongs to no chain";
    return {};
}

} // namespace vxtest
