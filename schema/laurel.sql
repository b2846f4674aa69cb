-- The laurel database: seven tables of recommendations and two code tables.
--
-- Plain SQL that any product reachable through ODBC accepts (SQLite and PostgreSQL are tested).
-- Column lengths of varchar(n) count bytes of GBK text. Text columns are varchar, never char: a
-- product may pad a char(n) value with blanks to n characters, and the program needs every text
-- back exactly as it was written. Real numbers are double precision, which keeps what the program
-- holds; real is four bytes on some products (PostgreSQL) and would round. Key columns are
-- declared NOT NULL as well as PRIMARY KEY, because some products (SQLite among them) would
-- otherwise let a null into a key that is not a whole number.
--
-- On SQLite the declared types give the affinities the program relies on: varchar(n) keeps text as
-- text, so a whole number bound into a text column is stored as its digits (the year 2025 as
-- '2025', the number 1 as '1'); date has numeric affinity, which leaves a text such as
-- '0001-01-01' as it is, since it is not a number.
--
-- Every name is declared bare and in lower case. A product that folds bare names folds them to
-- lower case here (PostgreSQL), so the program's statements may spell bare names in any case, and
-- quote a name only in lower case, as the export view of j_xm_base does.
--
-- The keys are plain primary keys. Renumbering a list (ry_no, dw_no, jx_id, yy_id, zl_id) must not
-- shift a range by one in a single UPDATE: SQLite checks uniqueness row by row, so the program
-- moves the range out of the way (to negative numbers) and back in two statements.

-- One recommendation per row.
CREATE TABLE j_xm_base (
    xm_id            varchar(40) NOT NULL,
    xk_grpno         varchar(5),
    jb_awardcode     varchar(5),
    xm_sn            varchar(40),
    xm_no            varchar(40),
    xm_pno           varchar(12),
    xm_name          varchar(100),
    xm_ename         varchar(200),
    bm_deptcode      varchar(5),
    xm_recomspec     varchar(60),
    sf_public        varchar(5),
    mj_secrcode      varchar(5),
    xm_fixsecrdate   date,
    xm_secrterm      varchar(10),
    xm_fixsecrorgan  varchar(100),
    xm_topicword     varchar(70),
    xk_majorcode1    varchar(7),
    xk_majorname1    varchar(40),
    xk_majorcode2    varchar(7),
    xk_majorname2    varchar(40),
    xk_majorcode3    varchar(7),
    xk_majorname3    varchar(40),
    xk_majorcode4    varchar(7),
    xk_majorname4    varchar(40),
    hy_etradecode    varchar(5),
    ly_socucode      varchar(256),
    xm_planname      varchar(1000),
    xm_startdate     date,
    xm_finishdate    date,
    xm_abstract      varchar(2000),
    xm_innovation    varchar(1000),
    xm_zongtz        decimal(18,2),
    xm_huis          integer,
    xm_zhijyj        varchar(500),
    xm_jianjyj       varchar(500),
    xm_sosiety       varchar(1000),
    xm_recom         varchar(1000),
    xm_pingjia       varchar(2000),
    xm_papers        varchar(2000),
    xm_guid          varchar(40),
    jz_awardsortcode varchar(5),
    xm_askno         varchar(10),
    xm_checkcode     varchar(20),
    xm_xg            varchar(1),
    PRIMARY KEY (xm_id)
);

-- Main contributors of a recommendation, numbered densely from 1.
CREATE TABLE j_ry_finish (
    xm_id            varchar(40) NOT NULL,
    ry_name          varchar(30),
    ry_no            integer NOT NULL,
    ry_birthday      date,
    mz_nationcode    varchar(5),
    xb_sex           varchar(5),
    ry_bplace        varchar(10),
    ry_id            varchar(30),
    dp_sectcode      varchar(5),
    ry_overseanation varchar(20),
    ry_position      varchar(100),
    sf_homecoming    varchar(5),
    gg_date          date,
    ry_unit          varchar(100),
    ry_place         varchar(40),
    ry_fixtel        varchar(20),
    ry_postaddr      varchar(100),
    ry_postcode      varchar(6),
    ry_homeaddr      varchar(100),
    ry_hometel       varchar(20),
    ry_email         varchar(100),
    ry_mpno          varchar(20),
    ry_grduniv       varchar(100),
    wp_edulev        varchar(5),
    ry_grdtime       date,
    zc_titlecode     varchar(5),
    ry_workmajor     varchar(100),
    ry_specmajor     varchar(100),
    xw_degree        varchar(5),
    ry_honor         varchar(400),
    ry_start         date,
    ry_finish        date,
    ry_contribution  varchar(800),
    ry_anum          double precision,
    ry_ano           varchar(20),
    ry_atm           date,
    ry_flag1         varchar(1),
    ry_flag2         varchar(1),
    PRIMARY KEY (xm_id, ry_no)
);

-- Main contributing units of a recommendation, numbered densely from 1.
CREATE TABLE j_dw_finish (
    xm_id            varchar(40) NOT NULL,
    dw_name          varchar(40),
    dw_attach        varchar(5),
    dw_no            integer NOT NULL,
    dx_unprocode     varchar(5),
    dw_fax           varchar(40),
    dw_rperson       varchar(16),
    dw_rtelphone     varchar(20),
    ry_mpno          varchar(20),
    dw_postaddr      varchar(100),
    dw_postcode      varchar(6),
    dw_emailbox      varchar(100),
    dw_contribute    varchar(1400),
    dw_ardbkprnnum   double precision,
    dw_ardbkno       varchar(20),
    dw_ardbkprntm    date,
    dw_prnset        varchar(1),
    dw_prnflag       varchar(1),
    PRIMARY KEY (xm_id, dw_no)
);

-- Economic benefit by year; xy_zhijorjianj '1' direct, '0' indirect.
CREATE TABLE j_xy_saving (
    xm_id            varchar(40) NOT NULL,
    xy_year          varchar(4) NOT NULL,
    xy_addvalue      decimal(18,2),
    xy_addinterest   decimal(18,2),
    xy_addtax        decimal(18,2),
    xy_getfrgexch    decimal(18,2),
    xy_savegross     decimal(18,2),
    xy_zhijorjianj   varchar(4) NOT NULL,
    xk_bz            varchar(40),
    PRIMARY KEY (xm_id, xy_year, xy_zhijorjianj)
);

-- Awards the project has already received.
CREATE TABLE j_jx_getaward (
    xm_id            varchar(40) NOT NULL,
    jx_id            integer NOT NULL,
    jx_xmname        varchar(100),
    jx_date          date,
    jx_name          varchar(100),
    jx_grade         varchar(10),
    jx_grantdept     varchar(40),
    PRIMARY KEY (xm_id, jx_id)
);

-- Units that apply the project's results.
CREATE TABLE j_yy_app (
    xm_id            varchar(40) NOT NULL,
    yy_id            integer NOT NULL,
    dw_unitname      varchar(100),
    yy_stsatdate     date,
    yy_finishdate    date,
    dw_rperson       varchar(200),
    yy_benefit       decimal(18,2),
    sf_submit        varchar(1),
    PRIMARY KEY (xm_id, yy_id)
);

-- Intellectual property; zl_sortcode and zl_nation store the text itself.
CREATE TABLE j_zl_patent (
    xm_id            varchar(40) NOT NULL,
    zl_id            integer NOT NULL,
    zl_name          varchar(256),
    zl_sortcode      varchar(12),
    zl_nation        varchar(30),
    zl_appno         varchar(20),
    zl_no            varchar(20),
    PRIMARY KEY (xm_id, zl_id)
);

-- Code table: the recommending units.
CREATE TABLE recomdept (
    st_code          varchar(5) NOT NULL,
    st_chdescr       varchar(100),
    PRIMARY KEY (st_code)
);

-- Code table: subject codes in three levels (3 + 2 + 2 digits; '00' below the row's own level).
CREATE TABLE xuekdm (
    xk_1             varchar(3),
    xk_2             varchar(2),
    xk_3             varchar(2),
    xk_name          varchar(40),
    xk_xh            integer NOT NULL,
    PRIMARY KEY (xk_xh)
);
