-- Factory defaults of the camera's configuration database.
CREATE TABLE network(iface INTEGER PRIMARY KEY, mode INTEGER, hostname TEXT, ipaddr TEXT,
                     netmask TEXT, gateway TEXT, dns1 TEXT, dns2 TEXT);
INSERT INTO network VALUES(0, 0, 'ipcam', '192.0.2.10', '255.255.255.0', '192.0.2.1', '192.0.2.1', '');
INSERT INTO network VALUES(1, 1, 'ipcam', '', '', '', '', '');
CREATE TABLE device(id INTEGER PRIMARY KEY, title TEXT, text1 TEXT, text2 TEXT, text3 TEXT);
INSERT INTO device VALUES(0, 'IPCAM', 'IPC-100', '1.0.0', '20261207');
CREATE TABLE port(id INTEGER PRIMARY KEY, http INTEGER);
INSERT INTO port VALUES(0, 80);
CREATE TABLE user(name TEXT PRIMARY KEY, password TEXT, privilege INTEGER, permission BLOB);
INSERT INTO user VALUES('admin', 'admin', 0, NULL);
INSERT INTO user VALUES('operator', 'operator', 1, NULL);
INSERT INTO user VALUES('guest', 'guest', 2, NULL);
