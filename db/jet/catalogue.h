// The catalogue: the rows of MSysObjects (its definition always on page 2),
// one per object of the database.  Tables are the rows of type 1 whose
// parent is the "Tables" container (its name compared without regard to
// case), and not system tables.  Names are UTF-16 in Jet 4 and ACE, and in
// the file's code page in Jet 3, as all its text.
//
// Columns used: Id (Long), ParentId (Long), Name (Text), Type (Integer),
// Flags (Long), LvProp (OLE: the object's properties).  A table's Id holds
// its definition page in its low 24 bits.
#ifndef ADDBOOK_DB_JET_CATALOGUE_H_
#define ADDBOOK_DB_JET_CATALOGUE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace addbook::jet {

class PageFile;

struct CatalogueTable {
  std::u16string name;
  uint32_t definition_page = 0;
  uint32_t flags = 0;
  std::string properties;  // LvProp bytes; empty when none
};

// The user tables of the file (system tables left out).  Throws
// Damaged (format.h) when the catalogue cannot be read.
std::vector<CatalogueTable> ReadCatalogue(PageFile& file);

}  // namespace addbook::jet

#endif  // ADDBOOK_DB_JET_CATALOGUE_H_
