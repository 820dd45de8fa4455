-- Factory defaults of the OEM database.
CREATE TABLE info(name TEXT PRIMARY KEY, value TEXT);
INSERT INTO info VALUES('schema', '1');
