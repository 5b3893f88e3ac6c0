#include "cli/contesto.h"
#include "engines/interbase/catalog.h"
#include "engines/interbase/table.h"
#include "engines/interbase/transaction.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace korva::cli {
namespace {

// The company's archive, connected as every InterBase command connects it; null when the
// user declined to create a missing archive.
std::unique_ptr<TTabForm> collega(Contesto& contesto)
{
    auto t = contesto.creaImpostazioni();
    t->ConnettiDatabaseIB();
    if (!t->IBDatabase1.connected()) {
        contesto.esito = 1;
        return nullptr;
    }
    return t;
}

std::string dimensione(const ib::FieldDef& c)
{
    if (c.type == ib::TipoCampo::Numeric || c.type == ib::TipoCampo::Decimal)
        return std::to_string(c.size) + "," + std::to_string(c.scale);
    return std::to_string(c.size);
}

std::string opzioni(const ib::IndexDef& d)
{
    std::string o;
    auto aggiungi = [&o](bool si, const char* parola) {
        if (!si)
            return;
        if (!o.empty())
            o += ' ';
        o += parola;
    };
    aggiungi(d.primary, "primario");
    aggiungi(d.unique, "unico");
    aggiungi(d.descending, "discendente");
    aggiungi(d.caseInsensitive, "ignora-maiuscole");
    return o;
}

}  // namespace

void registraIb(CLI::App& app, Contesto& contesto)
{
    auto* ib = app.add_subcommand("ib", "L'archivio Interbase della ditta");
    ib->require_subcommand(1);

    auto* tabelle = ib->add_subcommand("tabelle", "Elenca le tabelle utente dell'archivio, una per riga");
    tabelle->callback([&contesto] {
        auto t = collega(contesto);
        if (!t)
            return;
        ib::TransactionScope lavoro(t->IBTransaction1);
        for (const std::string& nome : ib::nomiTabelleUtente(t->IBDatabase1))
            std::cout << nome << '\n';
        lavoro.commit();
    });

    auto* struttura = ib->add_subcommand(
        "struttura", "Mostra i campi (nome, tipo, dimensione, obbligatorio) e gli indici "
                     "(nome, campi, opzioni) di una tabella dell'archivio");
    // The option's value lives as long as the application that parses it.
    static std::string nome;
    struttura->add_option("NOME", nome, "Nome della tabella")->required();
    struttura->callback([&contesto] {
        auto t = collega(contesto);
        if (!t)
            return;
        ib::TransactionScope lavoro(t->IBTransaction1);
        ib::Table tabella(t->IBDatabase1);
        tabella.setTableName(nome);
        if (!tabella.exists()) {
            contesto.interazione.messaggio("La Tabella Non Esiste");
            contesto.esito = 1;
            return;
        }
        std::cout << "Campi (nome, tipo, dimensione, obbligatorio):\n";
        for (const ib::FieldDef& c : tabella.fieldDefs())
            std::cout << c.name << '\t' << ib::nomeTipo(c.type) << '\t' << dimensione(c) << '\t'
                      << (c.required ? "si" : "no") << '\n';
        std::cout << "Indici (nome, campi, opzioni):\n";
        for (const ib::IndexDef& d : tabella.indexDefs())
            std::cout << d.name << '\t'
                      << (d.expression.empty() ? d.fields : "COMPUTED BY " + d.expression) << '\t'
                      << opzioni(d) << '\n';
        lavoro.commit();
    });
}

}  // namespace korva::cli
