-- Factory defaults of the OEM database.
CREATE TABLE oem(id INTEGER PRIMARY KEY, model TEXT, oem_index INTEGER);
INSERT INTO oem VALUES(0, '', 0);
