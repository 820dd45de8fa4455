-- Factory defaults of the camera's configuration database.
CREATE TABLE info(name TEXT PRIMARY KEY, value TEXT);
INSERT INTO info VALUES('schema', '1');
