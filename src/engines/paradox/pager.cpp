#include "engines/paradox/pager.h"

#include "base/errore.h"
#include "engines/paradox/format.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korva::paradox {

std::uint32_t crc32(const void* data, std::size_t n, std::uint32_t crc)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

namespace {
constexpr char kMagic[8] = {'K', 'R', 'V', 'J', 'N', 'L', '0', '1'};
constexpr std::size_t kMaxDirtyPages = 4096;
constexpr std::size_t kMaxCleanPages = 2048;
}  // namespace

PagedFile::PagedFile(std::unique_ptr<File> file, std::string name, int headerSize, int pageSize)
    : file_(std::move(file)), name_(std::move(name)), headerSize_(headerSize), pageSize_(pageSize)
{
}

std::uint32_t PagedFile::pagesOnDisk()
{
    if (sizeCache_ == UINT64_MAX)
        sizeCache_ = file_->size();
    if (sizeCache_ <= static_cast<std::uint64_t>(headerSize_))
        return sizeCache_ ? 1 : 0;
    return static_cast<std::uint32_t>(1 + (sizeCache_ - headerSize_ + pageSize_ - 1) / pageSize_);
}

PagedFile::Page& PagedFile::load(std::uint32_t page)
{
    auto it = pages_.find(page);
    if (it != pages_.end())
        return it->second;
    if (pages_.size() > kMaxCleanPages) {
        for (auto i = pages_.begin(); i != pages_.end();)
            i = i->second.dirty ? std::next(i) : pages_.erase(i);
    }
    Page p;
    p.data.assign(sizeOf(page), 0);
    if (page < pagesOnDisk()) {
        std::size_t got = file_->readAt(offsetOf(page), p.data.data(), p.data.size());
        (void)got;  // a short last page stays zero-padded
    }
    return pages_.emplace(page, std::move(p)).first->second;
}

const std::uint8_t* PagedFile::read(std::uint32_t page)
{
    if (page >= pagesOnDisk() && !pages_.count(page))
        throw Error("Il file " + file_->path() + " è danneggiato: blocco " + std::to_string(page) +
                    " oltre la fine del file");
    return load(page).data.data();
}

std::uint8_t* PagedFile::write(std::uint32_t page)
{
    Page& p = load(page);
    const std::uint64_t off = offsetOf(page);
    if (!p.dirty) {
        p.dirty = true;
        ++dirtyCount_;
        if (off < originalSize_ && !originals_.count(off))
            originals_.emplace(off, p.data);
    }
    return p.data.data();
}

void PagedFile::truncatePages(std::uint32_t pages)
{
    targetSize_ = pages == 0 ? 0 : offsetOf(pages);
    for (const auto& [n, p] : pages_)
        if (n >= pages && p.dirty)
            --dirtyCount_;
    // What is cut off must come back if the change is undone.
    const std::uint32_t onDisk = pagesOnDisk();
    for (std::uint32_t p = pages; p < onDisk; ++p) {
        const std::uint64_t off = offsetOf(p);
        if (off >= originalSize_ || originals_.count(off))
            continue;
        std::vector<std::uint8_t> data(sizeOf(p), 0);
        file_->readAt(off, data.data(), data.size());
        originals_.emplace(off, std::move(data));
    }
    for (auto it = pages_.begin(); it != pages_.end();)
        it = it->first >= pages ? pages_.erase(it) : std::next(it);
}

void PagedFile::dropCache()
{
    pages_.clear();
    dirtyCount_ = 0;
    sizeCache_ = UINT64_MAX;
}

bool PagedFile::dirty() const
{
    return targetSize_ != UINT64_MAX || dirtyCount_ > 0;
}

Pager::Pager(Env& env, std::string journalPath) : env_(env), journalPath_(std::move(journalPath)) {}

Pager::~Pager()
{
    if (active_) {
        try {
            rollback();
        } catch (const Error&) {
            // The journal stays for the next open.
        }
    }
}

void Pager::addFile(PagedFile* f)
{
    files_.push_back(f);
}

void Pager::removeFile(PagedFile* f)
{
    std::erase(files_, f);
}

void Pager::begin()
{
    if (broken_)
        throw Error("Errore di scrittura precedente non risolto: chiudere e riaprire la tabella");
    for (auto* f : files_) {
        f->sizeCache_ = UINT64_MAX;
        f->originalSize_ = f->file_->size();
        f->sizeCache_ = f->originalSize_;
        f->targetSize_ = UINT64_MAX;
        f->originals_.clear();
        f->journaled_.clear();
    }
    active_ = true;
    spilled_ = false;
    journal_.reset();
    journalEnd_ = 0;
}

void Pager::writeJournal()
{
    if (!journal_) {
        journal_ = env_.open(journalPath_, OpenMode::CreateTruncate);
        // magic, length of what follows up to the checksum, the files with their sizes, CRC.
        std::vector<std::uint8_t> h(kMagic, kMagic + 8);
        auto add32 = [&](std::uint32_t v) {
            std::uint8_t b[4];
            put32(b, v);
            h.insert(h.end(), b, b + 4);
        };
        add32(0);
        add32(static_cast<std::uint32_t>(files_.size()));
        for (auto* f : files_) {
            add32(static_cast<std::uint32_t>(f->name_.size()));
            h.insert(h.end(), f->name_.begin(), f->name_.end());
            add32(static_cast<std::uint32_t>(f->originalSize_));
            add32(static_cast<std::uint32_t>(f->originalSize_ >> 32));
        }
        put32(h.data() + 8, static_cast<std::uint32_t>(h.size()));
        add32(crc32(h.data(), h.size()));
        journal_->writeAt(0, h.data(), h.size());
        journalEnd_ = h.size();
    }
    std::vector<std::uint8_t> buf;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        PagedFile* f = files_[i];
        for (const auto& [off, data] : f->originals_) {
            if (f->journaled_.count(off))
                continue;
            std::vector<std::uint8_t> e(20);
            put32(e.data(), static_cast<std::uint32_t>(i));
            put32(e.data() + 4, static_cast<std::uint32_t>(off));
            put32(e.data() + 8, static_cast<std::uint32_t>(off >> 32));
            put32(e.data() + 12, static_cast<std::uint32_t>(data.size()));
            e.insert(e.end(), data.begin(), data.end());
            put32(e.data() + 16, crc32(e.data() + 20, data.size(), crc32(e.data(), 16)));
            buf.insert(buf.end(), e.begin(), e.end());
            f->journaled_[off] = true;
        }
    }
    if (!buf.empty()) {
        journal_->writeAt(journalEnd_, buf.data(), buf.size());
        journalEnd_ += buf.size();
    }
    if (durable_)
        journal_->sync();
}

void Pager::writePages(bool markClean)
{
    for (auto* f : files_) {
        // Consecutive dirty pages go out in one write.
        std::vector<std::uint32_t> order;
        for (auto& [n, p] : f->pages_)
            if (p.dirty)
                order.push_back(n);
        std::sort(order.begin(), order.end());
        std::vector<std::uint8_t> run;
        std::uint64_t runStart = 0;
        auto flush = [&] {
            if (!run.empty())
                f->file_->writeAt(runStart, run.data(), run.size());
            run.clear();
        };
        for (std::uint32_t n : order) {
            auto& p = f->pages_[n];
            const std::uint64_t off = f->offsetOf(n);
            if (run.empty() || runStart + run.size() != off || run.size() > (1u << 20)) {
                flush();
                runStart = off;
            }
            run.insert(run.end(), p.data.begin(), p.data.end());
            if (markClean)
                p.dirty = false;
        }
        flush();
        if (markClean)
            f->dirtyCount_ = 0;
        f->sizeCache_ = UINT64_MAX;
    }
}

void Pager::spillIfNeeded()
{
    if (!active_)
        return;
    std::size_t dirty = 0;
    for (auto* f : files_)
        dirty += f->dirtyCount_;
    if (dirty < kMaxDirtyPages)
        return;
    try {
        writeJournal();
        spilled_ = true;
        applyTruncation();
        writePages(true);
    } catch (...) {
        rollback();
        throw;
    }
}

void Pager::applyTruncation()
{
    // Before the pages are written: a page added after the cut extends the file again.
    for (auto* f : files_) {
        if (f->targetSize_ != UINT64_MAX) {
            f->file_->truncate(f->targetSize_);
            f->targetSize_ = UINT64_MAX;
            f->sizeCache_ = UINT64_MAX;
        }
    }
}

void Pager::commit()
{
    if (!active_)
        return;
    bool any = spilled_;
    for (auto* f : files_)
        any = any || f->dirty();
    if (!any) {
        active_ = false;
        return;
    }
    try {
        // Even a change that only adds pages needs the journal: it records the sizes to cut
        // the files back to.
        writeJournal();
        spilled_ = true;
        applyTruncation();
        writePages(true);
        if (durable_)
            for (auto* f : files_)
                f->file_->sync();
        journal_.reset();
        env_.remove(journalPath_);
    } catch (...) {
        rollback();
        throw;
    }
    for (auto* f : files_) {
        f->originals_.clear();
        f->journaled_.clear();
        f->targetSize_ = UINT64_MAX;
    }
    active_ = false;
}

void Pager::restore()
{
    for (auto* f : files_) {
        for (const auto& [off, data] : f->originals_)
            if (f->journaled_.count(off))
                f->file_->writeAt(off, data.data(), data.size());
        if (f->file_->size() != f->originalSize_)
            f->file_->truncate(f->originalSize_);
        f->file_->sync();
    }
    journal_.reset();
    env_.remove(journalPath_);
}

void Pager::rollback()
{
    if (!active_)
        return;
    active_ = false;
    const bool written = spilled_;
    for (auto* f : files_)
        f->dropCache();
    if (written) {
        try {
            restore();
        } catch (const Error&) {
            broken_ = true;
        }
    } else if (journal_) {
        journal_.reset();
        try {
            env_.remove(journalPath_);
        } catch (const Error&) {
            // An unused journal rolls back nothing.
        }
    }
    for (auto* f : files_) {
        f->originals_.clear();
        f->journaled_.clear();
        f->targetSize_ = UINT64_MAX;
        f->dropCache();
    }
}

namespace {

struct JournalHeader {
    std::vector<std::pair<std::string, std::uint64_t>> files;
    std::size_t end = 0;
};

bool parseJournal(const std::string& data, JournalHeader& h)
{
    const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
    if (data.size() < 16 || std::memcmp(d, kMagic, 8) != 0)
        return false;
    std::uint32_t len = get32(d + 8);
    if (len < 16 || static_cast<std::size_t>(len) + 4 > data.size() || len > (1u << 20))
        return false;
    if (crc32(d, len) != get32(d + len))
        return false;
    std::size_t p = 12;
    std::uint32_t n = get32(d + p);
    p += 4;
    if (n > 64)
        return false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (p + 4 > len)
            return false;
        std::uint32_t nl = get32(d + p);
        p += 4;
        if (p + nl + 8 > len || nl > 255)
            return false;
        std::string name(data.substr(p, nl));
        p += nl;
        std::uint64_t size = get32(d + p) | (static_cast<std::uint64_t>(get32(d + p + 4)) << 32);
        p += 8;
        if (name.find('/') != std::string::npos || name == ".." || name.empty())
            return false;
        h.files.emplace_back(std::move(name), size);
    }
    h.end = len + 4;
    return true;
}

}  // namespace

bool Pager::hot(Env& env, const std::string& journalPath)
{
    if (!env.exists(journalPath))
        return false;
    std::string data;
    try {
        data = readWholeFile(env, journalPath);
    } catch (const Error&) {
        return false;
    }
    JournalHeader h;
    return parseJournal(data, h);
}

bool Pager::recover(Env& env, const std::string& journalPath, const std::string& dir)
{
    if (!env.exists(journalPath))
        return false;
    std::string data = readWholeFile(env, journalPath);
    JournalHeader h;
    if (!parseJournal(data, h)) {
        // Written only up to its header: nothing had been overwritten yet.
        env.remove(journalPath);
        return false;
    }
    std::vector<std::unique_ptr<File>> files;
    for (const auto& [name, size] : h.files) {
        const std::string path = dir + "/" + name;
        files.push_back(env.exists(path) ? env.open(path, OpenMode::ReadWrite) : nullptr);
    }
    const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
    std::size_t p = h.end;
    while (p + 20 <= data.size()) {
        std::uint32_t idx = get32(d + p);
        std::uint64_t off = get32(d + p + 4) | (static_cast<std::uint64_t>(get32(d + p + 8)) << 32);
        std::uint32_t len = get32(d + p + 12);
        if (idx >= files.size() || len > data.size() - p - 20)
            break;
        if (crc32(d + p + 20, len, crc32(d + p, 16)) != get32(d + p + 16))
            break;
        if (files[idx])
            files[idx]->writeAt(off, d + p + 20, len);
        p += 20 + len;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i])
            continue;
        if (files[i]->size() > h.files[i].second)
            files[i]->truncate(h.files[i].second);
        files[i]->sync();
    }
    env.remove(journalPath);
    return true;
}

}  // namespace korva::paradox
