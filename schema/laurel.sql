-- The laurel database: seven tables of recommendations and two code tables.
--
-- Plain SQL that any product reachable through ODBC should accept. Column lengths of char(n) count
-- bytes of GBK text. Key columns are declared NOT NULL as well as PRIMARY KEY, because some products
-- (SQLite among them) would otherwise let a null into a key that is not a whole number.
--
-- On SQLite the declared types give the affinities the program relies on: char(n) keeps text as
-- text, so a whole number bound into a char column is stored as its digits (the year 2025 as
-- '2025', the number 1 as '1'); date has numeric affinity, which leaves a text such as
-- '0001-01-01' as it is, since it is not a number.
--
-- The keys are plain primary keys. Renumbering a list (ry_no, dw_no, jx_id, yy_id, zl_id) must not
-- shift a range by one in a single UPDATE: SQLite checks uniqueness row by row, so the program
-- moves the range out of the way (to negative numbers) and back in two statements.

-- One recommendation per row.
CREATE TABLE j_xm_base (
    xm_id            char(40) NOT NULL,
    xk_grpno         char(5),
    jb_awardcode     char(5),
    xm_sn            char(40),
    xm_no            char(40),
    xm_pno           char(12),
    xm_name          char(100),
    xm_ename         char(200),
    bm_deptcode      char(5),
    xm_recomspec     char(60),
    sf_public        char(5),
    mj_secrcode      char(5),
    xm_fixsecrdate   date,
    xm_secrterm      char(10),
    xm_fixsecrorgan  char(100),
    xm_topicword     char(70),
    xk_majorcode1    char(7),
    xk_majorname1    char(40),
    xk_majorcode2    char(7),
    xk_majorname2    char(40),
    xk_majorcode3    char(7),
    xk_majorname3    char(40),
    xk_majorcode4    char(7),
    xk_majorname4    char(40),
    hy_etradecode    char(5),
    ly_socucode      char(256),
    xm_planname      char(1000),
    xm_startdate     date,
    xm_finishdate    date,
    xm_abstract      char(2000),
    xm_innovation    char(1000),
    xm_zongtz        decimal(18,2),
    xm_huis          integer,
    xm_zhijyj        char(500),
    xm_jianjyj       char(500),
    xm_sosiety       char(1000),
    xm_recom         char(1000),
    xm_pingjia       char(2000),
    xm_papers        char(2000),
    xm_guid          char(40),
    jz_awardsortcode char(5),
    xm_askno         char(10),
    xm_checkcode     char(20),
    xm_xg            char(1),
    PRIMARY KEY (xm_id)
);

-- Main contributors of a recommendation, numbered densely from 1.
CREATE TABLE j_ry_finish (
    xm_id            char(40) NOT NULL,
    ry_name          char(30),
    ry_no            integer NOT NULL,
    ry_birthday      date,
    mz_nationcode    char(5),
    xb_sex           char(5),
    ry_bplace        char(10),
    ry_id            char(30),
    dp_sectcode      char(5),
    ry_overseanation char(20),
    ry_position      char(100),
    sf_homecoming    char(5),
    gg_date          date,
    ry_unit          char(100),
    ry_place         char(40),
    ry_fixtel        char(20),
    ry_postaddr      char(100),
    ry_postcode      char(6),
    ry_homeaddr      char(100),
    ry_hometel       char(20),
    ry_email         char(100),
    ry_mpno          char(20),
    ry_grduniv       char(100),
    wp_edulev        char(5),
    ry_grdtime       date,
    zc_titlecode     char(5),
    ry_workmajor     char(100),
    ry_specmajor     char(100),
    xw_degree        char(5),
    ry_honor         char(400),
    ry_start         date,
    ry_finish        date,
    ry_contribution  char(800),
    ry_anum          real,
    ry_ano           char(20),
    ry_atm           date,
    ry_flag1         char(1),
    ry_flag2         char(1),
    PRIMARY KEY (xm_id, ry_no)
);

-- Main contributing units of a recommendation, numbered densely from 1.
CREATE TABLE j_dw_finish (
    xm_id            char(40) NOT NULL,
    dw_name          char(40),
    dw_attach        char(5),
    dw_no            integer NOT NULL,
    dx_unprocode     char(5),
    dw_fax           char(40),
    dw_rperson       char(16),
    dw_rtelphone     char(20),
    ry_mpno          char(20),
    dw_postaddr      char(100),
    dw_postcode      char(6),
    dw_emailbox      char(100),
    dw_contribute    char(1400),
    dw_ardbkprnnum   real,
    dw_ardbkno       char(20),
    dw_ardbkprntm    date,
    dw_prnset        char(1),
    dw_prnflag       char(1),
    PRIMARY KEY (xm_id, dw_no)
);

-- Economic benefit by year; xy_zhijorjianj '1' direct, '0' indirect.
CREATE TABLE j_xy_saving (
    xm_id            char(40) NOT NULL,
    xy_year          char(4) NOT NULL,
    xy_addvalue      decimal(18,2),
    xy_addinterest   decimal(18,2),
    xy_addtax        decimal(18,2),
    xy_getfrgexch    decimal(18,2),
    xy_savegross     decimal(18,2),
    xy_zhijorjianj   char(4) NOT NULL,
    xk_bz            char(40),
    PRIMARY KEY (xm_id, xy_year, xy_zhijorjianj)
);

-- Awards the project has already received.
CREATE TABLE j_jx_getaward (
    xm_id            char(40) NOT NULL,
    jx_id            integer NOT NULL,
    jx_xmname        char(100),
    jx_date          date,
    jx_name          char(100),
    jx_grade         char(10),
    jx_grantdept     char(40),
    PRIMARY KEY (xm_id, jx_id)
);

-- Units that apply the project's results.
CREATE TABLE j_yy_app (
    xm_id            char(40) NOT NULL,
    yy_id            integer NOT NULL,
    dw_unitname      char(100),
    yy_stsatdate     date,
    yy_finishdate    date,
    dw_rperson       char(200),
    yy_benefit       decimal(18,2),
    sf_submit        char(1),
    PRIMARY KEY (xm_id, yy_id)
);

-- Intellectual property; zl_sortcode and zl_nation store the text itself.
CREATE TABLE j_zl_patent (
    xm_id            char(40) NOT NULL,
    zl_id            integer NOT NULL,
    zl_name          char(256),
    zl_sortcode      char(12),
    zl_nation        char(30),
    zl_appno         char(20),
    zl_no            char(20),
    PRIMARY KEY (xm_id, zl_id)
);

-- Code table: the recommending units.
CREATE TABLE recomdept (
    st_code          char(5) NOT NULL,
    st_chdescr       char(100),
    PRIMARY KEY (st_code)
);

-- Code table: subject codes in three levels (3 + 2 + 2 digits; '00' below the row's own level).
CREATE TABLE xuekdm (
    xk_1             char(3),
    xk_2             char(2),
    xk_3             char(2),
    xk_name          char(40),
    xk_xh            integer NOT NULL,
    PRIMARY KEY (xk_xh)
);
