#pragma once
// The records host on a SQL server: the partner table PTC0 and server-side routines named like
// the host programs, taking and returning fixed-width CHAR values through in/out parameters.
// The PostgreSQL ODBC driver runs "{CALL NAME(?,...)}" as a call of the function NAME and hands
// its in/out values back into the bound parameters.
inline const char *kHostSchema = R"sql(
CREATE TABLE operators(user_id text PRIMARY KEY, password text NOT NULL);
CREATE TABLE documents(doc_id text PRIMARY KEY, db text NOT NULL, book text, page text, year text,
  month text, day text, ctl text, inst text, key_code text, doc_type text, imid text NOT NULL DEFAULT '',
  num_pages text NOT NULL DEFAULT '0000', redacted text NOT NULL DEFAULT 'N');
CREATE SEQUENCE image_ids;
CREATE TABLE image_master(imid text PRIMARY KEY, doc_id text, file text, size text, pages text,
  redacted text, workstation text);
CREATE TABLE PTC0(Q0PTID character(2), Q0PTNM character(30), Q0PTTP character(1));
-- What reached the programs: how many of a call's parameters came as NULL.
CREATE TABLE received(program text, nulls int);
-- A misbehaving host: the result code SY331RI answers for these books, as it stands (NULL too).
CREATE TABLE hostile(book text PRIMARY KEY, rslt text);

-- Operator sign-on: ErrMsg stays blank for a known pair.
CREATE FUNCTION SY983R(INOUT p_userid character, INOUT p_password character, INOUT p_errmsg character)
LANGUAGE plpgsql AS $$
BEGIN
  IF EXISTS (SELECT 1 FROM operators o WHERE upper(o.user_id) = upper(trim(p_userid))
             AND o.password = trim(p_password)) THEN
    p_errmsg := rpad('', 60);
  ELSE
    p_errmsg := rpad('CPF2204: User id or password is not correct.', 60);
  END IF;
END $$;

-- Land records by book and page: result code blank (found), 1 (other database), 2 (nowhere),
-- 3 (several); the found document's date, control and instrument numbers, key code and id.
CREATE FUNCTION SY331RI(INOUT p_pcnm character, INOUT p_userid character, INOUT p_ver character,
  INOUT p_func character, INOUT p_bk character, INOUT p_pg character, INOUT p_rslt character,
  INOUT p_cy character, INOUT p_mm character, INOUT p_dd character, INOUT p_ctl character,
  INOUT p_inst character, INOUT p_kycd character, INOUT p_docid character)
LANGUAGE plpgsql AS $$
DECLARE
  d documents;
  n int;
  mine int;
BEGIN
  INSERT INTO received VALUES('SY331RI', num_nulls(p_pcnm, p_userid, p_ver, p_func, p_bk, p_pg, p_rslt, p_cy,
    p_mm, p_dd, p_ctl, p_inst, p_kycd, p_docid));
  IF EXISTS (SELECT 1 FROM hostile WHERE book = trim(p_bk)) THEN
    SELECT rslt INTO p_rslt FROM hostile WHERE book = trim(p_bk);
    RETURN;
  END IF;
  SELECT count(*), count(*) FILTER (WHERE db = 'LR') INTO n, mine
    FROM documents WHERE book = trim(p_bk) AND page = trim(p_pg);
  IF n = 0 THEN p_rslt := '2'; RETURN; END IF;
  IF mine = 0 THEN p_rslt := '1'; RETURN; END IF;
  IF n > 1 THEN p_rslt := '3'; RETURN; END IF;
  SELECT * INTO d FROM documents WHERE book = trim(p_bk) AND page = trim(p_pg);
  p_rslt := ' ';
  p_cy := d.year; p_mm := d.month; p_dd := d.day; p_ctl := d.ctl; p_inst := d.inst;
  p_kycd := d.key_code; p_docid := rpad(d.doc_id, 25);
END $$;

-- Image master: "A" answers for the document's image, "S" registers a stored image under a new
-- image id, "9" signs the workstation off. A size that is not a number fails the program.
CREATE FUNCTION IM650R(INOUT p_pcnm character, INOUT p_userid character, INOUT p_ver character,
  INOUT p_func character, INOUT p_apcd character, INOUT p_mbgp character, INOUT p_kycd character,
  INOUT p_docid character, INOUT p_rccy character, INOUT p_rcmm character, INOUT p_rcdd character,
  INOUT p_ctl character, INOUT p_dabr character, INOUT p_imid character, INOUT p_pcfn character,
  INOUT p_dosz character, INOUT p_nump character, INOUT p_errmsg character, INOUT p_redacted character)
LANGUAGE plpgsql AS $$
DECLARE
  d documents;
BEGIN
  INSERT INTO received VALUES('IM650R', num_nulls(p_pcnm, p_userid, p_ver, p_func, p_apcd, p_mbgp, p_kycd,
    p_docid, p_rccy, p_rcmm, p_rcdd, p_ctl, p_dabr, p_imid, p_pcfn, p_dosz, p_nump, p_errmsg, p_redacted));
  p_errmsg := '';
  IF trim(p_func) = '9' THEN RETURN; END IF;
  SELECT * INTO d FROM documents WHERE doc_id = trim(p_docid);
  IF NOT FOUND THEN
    p_errmsg := rpad('IM650R: the document is not on file.', 60);
    RETURN;
  END IF;
  IF trim(p_func) = 'S' THEN
    IF trim(p_dosz) !~ '^[0-9]+$' THEN
      RAISE EXCEPTION 'IM650R: file size "%" is not a number', p_dosz USING ERRCODE = '22023';
    END IF;
    d.imid := 'IM' || lpad(nextval('image_ids')::text, 10, '0');
    d.num_pages := trim(p_nump);
    d.redacted := p_redacted;
    INSERT INTO image_master VALUES(d.imid, d.doc_id, trim(p_pcfn), trim(p_dosz), d.num_pages, p_redacted,
                                    trim(p_pcnm));
    UPDATE documents SET imid = d.imid, num_pages = d.num_pages, redacted = d.redacted WHERE doc_id = d.doc_id;
  ELSIF trim(p_func) IS DISTINCT FROM 'A' THEN
    p_errmsg := rpad('IM650R: function code is not valid.', 60);
    RETURN;
  END IF;
  p_dabr := rpad(d.doc_type, 5);
  p_imid := rpad(d.imid, 12);
  p_nump := d.num_pages;
  p_redacted := d.redacted;
END $$;

-- Where an image lies: folder, subfolder and member of the stored file.
CREATE FUNCTION IM091R(INOUT p_func character, INOUT p_imid character, INOUT p_flnm character,
  INOUT p_sbdr character, INOUT p_mbrnm character, INOUT p_errmsg character)
LANGUAGE plpgsql AS $$
DECLARE
  m image_master;
BEGIN
  SELECT * INTO m FROM image_master WHERE imid = trim(p_imid);
  IF NOT FOUND THEN
    p_errmsg := rpad('IM091R: image ' || trim(p_imid) || ' is not on file.', 60);
    RETURN;
  END IF;
  p_flnm := rpad('IMAGES', 8);
  p_sbdr := rpad(m.doc_id, 12);
  p_mbrnm := rpad(m.file, 10);
  p_errmsg := '';
END $$;
)sql";
