#include "engines/paradox/table.h"

#include "base/errore.h"
#include "base/percorsi.h"
#include "engines/paradox/table_file.h"

#include <strings.h>

namespace korva::paradox {

// ---- session ------------------------------------------------------------------------------------

Session::Session(Env& env) : env_(env) {}

Session& Session::standard()
{
    static Session s;
    return s;
}

// ---- table: address and operations -------------------------------------------------------------

Table::Table(Session& session) : session_(session) {}

Table::~Table()
{
    try {
        close();
    } catch (const Error&) {
    }
}

void Table::setDatabaseName(std::string dir)
{
    requireClosed("cambiare la directory");
    dir_ = std::move(dir);
}

namespace {
// A table name is a file of the table's directory: a folder part would lead elsewhere, and
// dropping it would put the table where nobody asked for it.
void requirePlainName(const std::string& name)
{
    if (name.find_first_of("/\\") != std::string::npos)
        throw Error("Nome di tabella non valido: \"" + name +
                    "\" (la cartella va data come directory della tabella, non nel nome)");
}
}  // namespace

void Table::setTableName(std::string name)
{
    requireClosed("cambiare il nome");
    requirePlainName(name);
    name_ = std::move(name);
}

void Table::setExclusive(bool e)
{
    requireClosed("cambiare il modo di apertura");
    exclusive_ = e;
}

std::string Table::dirFs() const
{
    std::string d = percorsoFs(dir_);
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    if (d.empty())
        return ".";
    if (auto r = risolviPercorso(d))
        return *r;
    return d;
}

namespace {
std::string withExtension(const std::string& name)
{
    std::string n = name;
    if (n.rfind('.') == std::string::npos)
        n += ".DB";
    return n;
}
}  // namespace

std::string Table::displayName() const
{
    std::string d = percorsoFs(dir_);
    if (!d.empty() && d.back() != '/')
        d += '/';
    return d + withExtension(name_);
}

std::optional<std::string> Table::resolvedPath() const
{
    const std::string dir = dirFs();
    const std::string name = withExtension(name_);
    Env& env = session_.env();
    if (env.exists(dir + "/" + name))
        return dir + "/" + name;
    if (!env.exists(dir))
        return std::nullopt;
    std::optional<std::string> found;
    for (const auto& e : env.list(dir)) {
        if (strcasecmp(e.c_str(), name.c_str()) != 0)
            continue;
        if (found)
            throw Error("Nome ambiguo: \"" + *found + "\" e \"" + dir + "/" + e + "\"");
        found = dir + "/" + e;
    }
    return found;
}

bool Table::exists() const
{
    return resolvedPath().has_value();
}

void Table::requireActive() const
{
    if (!file_)
        throw Error("La tabella " + displayName() + " non è aperta");
}

void Table::requireClosed(const char* what) const
{
    if (file_)
        throw Error("Impossibile " + std::string(what) + ": la tabella " + displayName() +
                    " è aperta");
}

void Table::createTable()
{
    requireClosed("creare la tabella");
    paradox::createTable(session_, dirFs(), withExtension(name_), fieldDefs, indexDefs, sortOrder);
}

void Table::createNewTable()
{
    requireClosed("creare la tabella");
    paradox::createTable(session_, dirFs(), withExtension(name_), fieldDefs, indexDefs, sortOrder, false);
}

void Table::deleteTable()
{
    requireClosed("eliminare la tabella");
    paradox::deleteTable(session_, dirFs(), withExtension(name_));
}

void Table::deleteEmptyTable()
{
    requireClosed("eliminare la tabella");
    paradox::deleteEmptyTable(session_, dirFs(), withExtension(name_));
}

void Table::emptyTable()
{
    requireClosed("azzerare la tabella");
    paradox::emptyTable(session_, dirFs(), withExtension(name_));
}

void Table::renameTable(const std::string& newName)
{
    requireClosed("rinominare la tabella");
    requirePlainName(newName);
    paradox::renameTable(session_, dirFs(), withExtension(name_), withExtension(newName));
}

PackResult Table::packTable(const PackProgress& progress)
{
    requireClosed("compattare la tabella");
    return paradox::packTable(session_, dirFs(), withExtension(name_), progress);
}

std::uint32_t Table::regenerateTable(const PackProgress& progress)
{
    requireClosed("rigenerare la tabella");
    return paradox::regenerateTable(session_, dirFs(), withExtension(name_), fieldDefs, indexDefs, progress);
}

void Session::dropIdleConnections()
{
    // A closed table keeps nothing open: every handle goes with its table object's close.
}

// ---- opening -------------------------------------------------------------------------------------

void Table::open()
{
    if (file_)
        return;
    auto path = resolvedPath();
    if (!path)
        throw Error("La tabella " + displayName() + " non esiste");
    const std::string dir = path->substr(0, path->rfind('/'));
    const std::string db = path->substr(path->rfind('/') + 1);
    file_ = std::make_unique<TableFile>(session_.env(), dir, db, exclusive_, displayName());
    file_->setDurable(session_.durable());
    fieldDefs = file_->fieldDefs();
    indexDefs = file_->indexDefs();
    buf_.assign(static_cast<std::size_t>(file_->recordSize()), 0);
    orig_ = buf_;
    keyBuf_ = buf_;
    state_ = DataSetState::Browse;
    indexName_.clear();
    ranged_ = false;
    pendingBlobs_.clear();
    first();
}

void Table::close()
{
    if (!file_)
        return;
    if (file_->inBatch())
        file_->endBatch(true);
    file_.reset();
    state_ = DataSetState::Inactive;
    hasRecord_ = false;
    bof_ = eof_ = true;
}

void Table::updateFieldDefs()
{
    requireActive();
    fieldDefs = file_->fieldDefs();
}

void Table::updateIndexDefs()
{
    requireActive();
    indexDefs = file_->indexDefs();
}

std::optional<IndexDef> Table::findIndex(std::string_view name) const
{
    for (const auto& ix : indexDefs)
        if (ix.name.size() == name.size() && strncasecmp(ix.name.data(), name.data(), name.size()) == 0)
            return ix;
    return std::nullopt;
}

std::uint32_t Table::recordCount()
{
    requireActive();
    ReadScope scope(*file_);
    return file_->recordCount();
}

TableFile& Table::file()
{
    requireActive();
    return *file_;
}

std::vector<std::string> Table::check()
{
    requireActive();
    ReadScope scope(*file_);
    return file_->check();
}

int Table::fieldCount() const
{
    requireActive();
    return static_cast<int>(file_->fields().size());
}

std::optional<int> Table::fieldIndex(std::string_view name) const
{
    requireActive();
    int i = file_->fieldIndex(name);
    if (i < 0)
        return std::nullopt;
    return i;
}

Field Table::field(int index)
{
    requireActive();
    if (index < 0 || index >= fieldCount())
        throw Error("La tabella " + displayName() + " non ha il campo numero " +
                    std::to_string(index + 1));
    return Field(*this, index);
}

Field Table::field(std::string_view name)
{
    requireActive();
    int i = file_->fieldIndex(name);
    if (i < 0)
        throw Error("Campo " + std::string(name) + " non trovato nella tabella " + displayName());
    return Field(*this, i);
}

std::uint8_t* Table::buffer()
{
    return state_ == DataSetState::SetKey ? keyBuf_.data() : buf_.data();
}

const std::uint8_t* Table::buffer() const
{
    return state_ == DataSetState::SetKey ? keyBuf_.data() : buf_.data();
}

void Table::notify()
{
    if (disabled_ > 0) {
        changedWhileDisabled_ = true;
        return;
    }
    if (onChange_)
        onChange_();
}

void Table::enableControls()
{
    if (disabled_ > 0 && --disabled_ == 0 && changedWhileDisabled_) {
        changedWhileDisabled_ = false;
        if (onChange_)
            onChange_();
    }
}

}  // namespace korva::paradox
