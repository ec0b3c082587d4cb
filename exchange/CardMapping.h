#pragma once
// Address cards to and from vCard: every one of the card's 31 fields has its property.
//
//   Nombre            FN (and N, given name)        Nick             NICKNAME
//   Emails / Email    one EMAIL per line, PREF=1 on the default
//   Direccion ... Pais ADR;TYPE=home                Empresa... Pais  ADR;TYPE=work
//   Tel, Movil, FAX   TEL;TYPE=home,voice / cell / home,fax
//   EmpresaTel/Fax    TEL;TYPE=work,voice / work,fax
//   Web               URL                           Organizacion, Departamento  ORG
//   Puesto            TITLE                         Cumpleanos, Aniversario  BDAY, ANNIVERSARY
//   Sexo              GENDER (H -> M, M -> F, ? -> U)  Conyugue    RELATED;TYPE=spouse
//   Notas             NOTE                          Oficina, Hijos   X-PENNARO-OFICINA, X-PENNARO-HIJOS

#include "exchange/Record.h"
#include "exchange/VCard.h"

#include <QDate>

namespace exchange {

// A vCard 4.0 of a card, CRLF lines; empty when the card has no name (it could not be read
// back, as the card editor refuses a card without one).
QByteArray cardToVCard(const Record& card);

// The card a vCard describes. A card without a name gets notes.skipReason. A date that does
// not exist raises LineError naming its line.
Record cardFromVCard(const VCard& vcard, ImportNotes& notes);

// "19700315", "1970-03-15", "1970-03-15T10:00:00Z" -> the date. Returns a null date, with
// `why` set, for a form without a year ("--0315") or a text that is no date; raises
// LineError when the form is a date's but the day does not exist ("20270230").
QDate parseVCardDate(const QString& text, int lineNo, QString& why);

} // namespace exchange
