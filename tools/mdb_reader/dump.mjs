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
//
// For the tests, the same rows in one plain form, whoever read them:
//
//   node tools/mdb_reader/dump.mjs --lines [--mdbtools | --dump=<jsonl>] <file> <table>=<column>,... ...
//
// reads the tables with mdb-reader, with mdbtools' mdb-json (its standard
// error passed on), or from a dump of the form above, and writes per table a
// line "#<table>\t<row count>" (the definition's count; -1 when the reader
// gives none), then a line per row: the values of the columns named, in that
// order, joined by tabs: Null as an empty field, as an empty text is
// (mdbtools writes both alike), else its text (numbers as JSON writes them)
// with backslash, tab, LF and CR written \\, \t, \n and \r.
//
// mdb-reader decodes the text of an Access 97 (Jet 3) file as Windows-1252
// whatever the file's code page; its strings are taken back to their bytes
// and decoded in the file's code page (Windows-1256, the one this program
// writes), so that every reader gives the same text.  The five bytes that
// Windows-1252 leaves undefined come back from mdb-reader as U+FFFD and stay
// so.
//
// Exits 1, saying why on standard error, when the file or a table cannot be
// read.
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

// Windows-1252 from 0x80, as mdb-reader decodes it ("\ufffd": undefined).
const cp1252High =
  "\u20ac\ufffd\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\ufffd\u017d\ufffd" +
  "\ufffd\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a\u0153\ufffd\u017e\u0178";
const cp1252Bytes = new Map();
for (let b = 0x80; b < 0x100; ++b) {
  const c = b < 0xa0 ? cp1252High[b - 0x80] : String.fromCharCode(b);
  if (c !== "\ufffd") cp1252Bytes.set(c, b);
}
const cp1256 = new TextDecoder("windows-1256");

// A Jet 3 text as mdb-reader gave it, decoded in the file's code page.
function fromCp1252(text) {
  const bytes = [];
  const kept = [];
  for (const c of text) {
    const code = c.codePointAt(0);
    if (code < 0x80) bytes.push(code);
    else if (cp1252Bytes.has(c)) bytes.push(cp1252Bytes.get(c));
    else {
      kept.push([bytes.length, c]);
      bytes.push(0x3f);
    }
  }
  const chars = [...cp1256.decode(Uint8Array.from(bytes))];
  for (const [at, c] of kept) chars[at] = c;
  return chars.join("");
}

let jet3 = false;

function plain(value) {
  if (jet3 && typeof value === "string") return fromCp1252(value);
  if (value instanceof Date) return value.toISOString();
  if (Buffer.isBuffer(value)) return value.toString("hex");
  if (typeof value === "bigint") return value.toString();
  return value;
}

function line(values) {
  const escapes = { "\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r" };
  const field = (v) => (v === null || v === undefined ? "" : String(v).replace(/[\\\t\n\r]/g, (c) => escapes[c]));
  return values.map(field).join("\t");
}

function jsonLines(text) {
  return text.split("\n").filter((l) => l !== "").map((l) => JSON.parse(l));
}

const args = process.argv.slice(2);
const lines = args[0] === "--lines" && args.shift();
const source = args[0]?.startsWith("--") ? args.shift() : "";
const [file, ...names] = args;
if (!file || (lines && names.length === 0)) {
  process.stderr.write("Usage: node dump.mjs [--lines [--mdbtools | --dump=<jsonl>]] <file> [table ...]\n");
  process.exit(2);
}
try {
  const out = [];
  const bytes = source === "" ? readFileSync(file) : null;
  const reader = bytes ? new MDBReader(bytes) : null;
  jet3 = bytes !== null && bytes[0x14] === 0;
  const dump = source.startsWith("--dump=") ? jsonLines(readFileSync(source.slice(7), "utf8")) : null;
  for (const name of names.length > 0 || !reader ? names : reader.getTableNames()) {
    const [table, wanted] = lines ? name.split("=") : [name];
    const columns = wanted?.split(",");
    let rowCount = -1;
    let rows;
    if (reader) {
      const t = reader.getTable(table);
      rowCount = t.rowCount;
      rows = t.getData();
      if (!lines) {
        out.push(JSON.stringify({ table, rowCount, columns: t.getColumnNames() }));
        for (const row of rows) {
          const plainRow = {};
          for (const column of t.getColumnNames()) plainRow[column] = plain(row[column]);
          out.push(JSON.stringify({ table, row: plainRow }));
        }
        continue;
      }
    } else if (dump) {
      rows = dump.filter((l) => l.table === table && l.row).map((l) => l.row);
    } else {
      const options = { encoding: "utf8", maxBuffer: 2 ** 31 - 1, stdio: ["ignore", "pipe", "inherit"] };
      rows = jsonLines(execFileSync("mdb-json", [file, table], options));
    }
    out.push(`#${table}\t${rowCount}`);
    for (const row of rows) out.push(line(columns.map((c) => plain(row[c]))));
  }
  process.stdout.write(out.join("\n") + "\n");
} catch (error) {
  process.stderr.write(`${file}: ${error.message}\n`);
  process.exit(1);
}
