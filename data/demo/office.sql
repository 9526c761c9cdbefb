-- The demo office's records host: its connection account, operators, e-file partners, book
-- ranges, and the documents that show the lookup result codes. hostsim-seed --demo adds the
-- bulk of the documents, their page images and the e-file queue.
INSERT INTO accounts(dsn, uid, pwd) VALUES ('RECHOST', 'SCANSVC', 'scan2026');

INSERT INTO operators(user_id, password, name, disabled) VALUES
  ('DEMO', 'demo', 'Demo Operator', 0),
  ('CLERK1', 'clerk1', 'Records Clerk', 0),
  ('RETIRED', 'retired', 'Former Clerk', 1);

INSERT INTO PTC0(Q0PTID, Q0PTNM, Q0PTTP) VALUES
  ('01', 'Commonwealth Title Company', 'E'),
  ('02', 'Harbor Closing Services', 'E'),
  ('03', 'Granite Savings Bank', 'E'),
  ('04', 'Paper Courier Service', 'P'),
  ('05', 'Empire Abstract Corp', 'E');

INSERT INTO book_ranges(book_code, book, first_page, last_page, path, prefix) VALUES
  ('', '000900', '0001', '0600', 'BOOKS\B000900\', 'B00900'),
  ('', '000950', '0001', '0400', 'BOOKS\B000950\', 'B00950'),
  ('NYREG', '000800', '0001', '0500', 'BOOKS\N000800\', 'N00800');

-- Book 1000 page 1 is on file twice (result code 3); book 1001 page 1 only as Land Court (code 1).
INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type, num_pages) VALUES
  ('LR', '001000', '0001', '2019', '04', '01', '90001', '900001', 'K', 'LR201990001', 'DEED', '0002'),
  ('LC', '001000', '0001', '2019', '04', '02', '90002', '', 'L', 'LC201990002', 'DEED', '0001'),
  ('LC', '001001', '0001', '2019', '04', '03', '90003', '', 'L', 'LC201990003', 'CERT', '0003');
