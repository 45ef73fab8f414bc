-- The host program's database as the installer relies on it: three tables,
-- found again by the keys indexed below.  Used to make fresh hosts for tests,
-- demonstrations and measurements; the installer itself never runs it.
PRAGMA journal_mode=WAL;

CREATE TABLE Books (
  BookNo INTEGER,
  Name TEXT,
  Author TEXT,
  Details TEXT
);

CREATE TABLE Titles (
  TitleID INTEGER PRIMARY KEY AUTOINCREMENT,
  BookNo INTEGER,
  Vol INTEGER,
  KTB INTEGER,
  BAB INTEGER,
  SubBAB INTEGER,
  Title TEXT,
  Description TEXT
);

CREATE TABLE Hadeeths (
  BookNo INTEGER,
  TitleID INTEGER,
  HadeethID INTEGER,
  HadeethNo INTEGER,
  Hadeeth TEXT
);

CREATE INDEX BooksByBookNo ON Books (BookNo);
CREATE INDEX TitlesByKey ON Titles (BookNo, Vol, KTB, BAB, SubBAB);
CREATE INDEX HadeethsByKey ON Hadeeths (TitleID, HadeethID);
