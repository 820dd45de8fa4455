-- Factory AF table of the lens: focus position for each zoom position.
CREATE TABLE af_table(zoom INTEGER PRIMARY KEY, focus INTEGER);
INSERT INTO af_table VALUES(0, 3000);
INSERT INTO af_table VALUES(692, 3100);
INSERT INTO af_table VALUES(1384, 3400);
INSERT INTO af_table VALUES(2076, 3900);
INSERT INTO af_table VALUES(2768, 4600);
