// Writes every row of the named tables of an Access file (every table when
// none is named) as JSON Lines, read with mdb-reader, a reader that shares
// nothing with addbook's own engine:
//
//   node tools/mdb_reader/dump.mjs <file> [table ...]
//
// Per table, in the order named: a line {"table", "rowCount", "columns"}
// (the row count as the table's definition holds it, the column names in
// column order), then a line {"table", "row"} for each row in the order the
// file holds them.  Text is exactly as stored, whole and real numbers as
// numbers, Null as null, dates as ISO 8601 text, bytes as hexadecimal text.
// Exits 1, saying why on standard error, when the file or a table cannot be
// read.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

function plain(value) {
  if (value instanceof Date) return value.toISOString();
  if (Buffer.isBuffer(value)) return value.toString("hex");
  if (typeof value === "bigint") return value.toString();
  return value;
}

const [file, ...names] = process.argv.slice(2);
if (!file) {
  process.stderr.write("Usage: node dump.mjs <file> [table ...]\n");
  process.exit(2);
}
try {
  const reader = new MDBReader(readFileSync(file));
  const lines = [];
  for (const name of names.length > 0 ? names : reader.getTableNames()) {
    const table = reader.getTable(name);
    const columns = table.getColumnNames();
    lines.push(JSON.stringify({ table: name, rowCount: table.rowCount, columns }));
    for (const row of table.getData()) {
      const out = {};
      for (const column of columns) out[column] = plain(row[column]);
      lines.push(JSON.stringify({ table: name, row: out }));
    }
  }
  process.stdout.write(lines.join("\n") + "\n");
} catch (error) {
  process.stderr.write(`${file}: ${error.message}\n`);
  process.exit(1);
}
