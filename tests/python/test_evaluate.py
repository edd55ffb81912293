"""One-shot evaluation: literals, precedence, coercions, comparisons, broadcasting, limits and
failure texts through tabrix.evaluate (every cell empty, A:A reaching row 1000, 1:1 column Z)."""
import inspect
import sys

import pytest

import tabrix


def cells(expr):
    """All cells of an array expression, row-major, each followed by ";"."""
    return tabrix.evaluate(f'=CONCAT(({expr})&";")')


def test_signature():
    assert list(inspect.signature(tabrix.evaluate).parameters) == ["formula"]
    assert tabrix.evaluate(formula="=1+1") == "2"


@pytest.mark.parametrize("text, expected", [
    ("12", "12"),
    ("1e3", "1000"),          # the number grammar accepts exponents in literals
    ("+.5", "0.5"),
    ("-0", "-0"),
    ("inf", "inf"),           # not finite: stays text
    ("nan", "nan"),
    ("1e400", "1e400"),       # overflows to infinity: stays text
    (" 1", " 1"),             # nothing is trimmed
    ("1,000", "1,000"),
    ("TRUE", "TRUE"),
    ("true", "TRUE"),
    ("fAlSe", "FALSE"),
    ("TRUE ", "TRUE "),
    ("", None),
    ("abc", "abc"),
    ("'=1", "'=1"),
    ("#DIV/0!", "#DIV/0!"),   # a literal text, not an error
])
def test_literals(text, expected):
    assert tabrix.evaluate(text) == expected


@pytest.mark.parametrize("formula, expected", [
    ("=1+2*3", "7"),
    ("=(1+2)*3", "9"),
    ("=10-2-3", "5"),
    ("=2^3^2", "64"),         # left-associative
    ("=-2^2", "4"),           # prefix minus binds tighter than ^
    ("=2^-1", "0.5"),
    ("=--3", "3"),
    ("=+'4'", "4"),
    ("=7%3*2", "2"),          # % is a binary operator on the level of *
    ("=-7%3", "-1"),          # fmod keeps the sign of the dividend
    ("=1+2&3", "33"),         # & binds looser than +
    ("=1&2='12'", "TRUE"),    # comparisons bind loosest
    ("=1&2=12", "FALSE"),     # the text 12 is not the number 12
    ("=1<2=TRUE", "TRUE"),
    ("=1<2<3", "TRUE"),       # (1<2)<3: TRUE is 1
    ("=3>2>1", "FALSE"),      # (3>2)>1: TRUE is not greater than 1
    ("1+2", "1+2"),           # no leading "=": a literal
    ("=0.1+0.2", "0.30000000000000004"),
    ("=1/3", "0.3333333333333333"),
    ("=2^1023*2", "inf"),
    ("=-0", "-0"),
])
def test_precedence_and_numbers(formula, expected):
    assert tabrix.evaluate(formula) == expected


@pytest.mark.parametrize("formula, expected", [
    ("='ab'+1", "ab1"),       # + without numeric readings joins the texts
    ("='2'+1", "3"),
    ("=' 2'+1", " 21"),       # texts are read untrimmed
    ("='inf'+1", "inf"),
    ("='1e3'*2", "2000"),
    ("='ab'*2", None),        # other operators give Empty
    ("='ab'-1", None),
    ("=A1+1", "1"),           # an empty cell has no numeric reading: text join
    ("=A1+A2", ""),
    ("=A1*2", None),
    ("=-A1", None),
    ("=-'x'", None),
    ("=-'-3'", "3"),
    ("=-TRUE", "-1"),
    ("=TRUE+TRUE", "2"),
    ("=1&TRUE", "1TRUE"),
    ("=1.50&''", "1.5"),
    ("=A1&A2", ""),
    ("=A1#&'x'", "#REF!x"),   # an error value shows its text
    ("=5%0", "NaN"),          # fmod by zero is NaN, not an error
    ("=(-8)^(1/3)", "NaN"),
    ("=0^-1", "inf"),
])
def test_coercions(formula, expected):
    assert tabrix.evaluate(formula) == expected


@pytest.mark.parametrize("formula, expected", [
    ("=1=TRUE", "TRUE"),
    ("=0=FALSE", "TRUE"),
    ("=TRUE>1", "FALSE"),
    ("='a'='A'", "FALSE"),    # case-sensitive
    ("='a'<>'A'", "TRUE"),
    ("='b'>'a'", "TRUE"),
    ("='a'>'B'", "TRUE"),     # byte order: lower case after upper case
    ("='ab'<'abc'", "TRUE"),
    ("='é'>'z'", "TRUE"),     # UTF-8 bytes
    ("='1'>5", "TRUE"),       # texts are greater than numbers
    ("='1'=1", "FALSE"),
    ("=TRUE<'a'", "TRUE"),    # booleans are less than texts
    ("=FALSE<''", "TRUE"),
    ("=A1=0", "TRUE"),        # an empty cell acts as 0, "" or FALSE
    ("=A1=''", "TRUE"),
    ("=A1=FALSE", "TRUE"),
    ("=A1<'a'", "TRUE"),
    ("=A1=A2", "TRUE"),
    ("=A1<-1", "FALSE"),
    ("=5%0=1", "TRUE"),       # NaN is equal to everything
    ("=5%0<1", "FALSE"),
    ("=1<=1", "TRUE"),
    ("=2>=3", "FALSE"),
])
def test_comparisons(formula, expected):
    assert tabrix.evaluate(formula) == expected


@pytest.mark.parametrize("expr, expected", [
    ("{1,2,3}+{10;20}", "11;12;13;21;22;23;"),
    ("{1,2;3,4}*{10,100}", "10;200;30;400;"),
    ("{1;2}*{10;100}", "10;200;"),
    ("-{1,-2}", "-1;2;"),
    ("{1;2}={1,2}", "TRUE;FALSE;FALSE;TRUE;"),
    ("{1,0}/0", "#DIV/0!;#DIV/0!;"),           # errors stay in their cells
    ("{1,0}/{1,0}", "1;#DIV/0!;"),
    ("{1,2}=A1#", "#REF!;#REF!;"),             # a comparison turns error values into errors
    ("{1,'a'}&{'x';'y'}", "1x;ax;1y;ay;"),
    ("A1:B2", ";;;;"),
    ("{1+1,2*3;'a','b'}", "2;6;a;b;"),
])
def test_broadcasting(expr, expected):
    assert cells(expr) == expected


@pytest.mark.parametrize("formula, expected", [
    ("={1,0}/0", "#DIV/0!"),   # an array result shows its top-left cell
    ("=A1#", "#REF!"),          # no spill resolver: the error value, not a failure
    ("=SEQUENCE(3)", "1"),
    ("=B2:A1", None),
    ("=A:A", None),
    ("=1:1", None),
    ("=A0", None),
    ("=SUM(A1:B50000)", "-0"),  # exactly 100000 cells
    ("=SUM(A:AZ)", "-0"),        # 52000 cells
])
def test_results(formula, expected):
    assert tabrix.evaluate(formula) == expected


@pytest.mark.parametrize("formula, message", [
    ("=1/0", "#DIV/0!"),
    ("=0/-0", "#DIV/0!"),
    ("={1}/0", "#DIV/0!"),                # a single cell: the error is the failure
    ("=A1#=1", "#REF!"),
    ("=SUM(1/0, 2)", "#DIV/0!"),
    ("=IF(TRUE, 1, 1/0)", "#DIV/0!"),     # every argument is evaluated before the call
    ("=UNKNOWN_NAME", "#NAME?"),
    ("=NOSUCHFUNCTION(1)", "#NAME?"),
    ("={1,2}+{1,2,3}", "#VALUE! incompatible array shapes"),
    ("={1;2}={1;2;3}", "#VALUE! incompatible array shapes"),
    ("=A1:A100001", "#SIZE! range exceeds 100000 cells"),
    ("=-A1:A100001", "#SIZE! range exceeds 100000 cells"),
    ("=A:DZ", "#SIZE! range exceeds 100000 cells"),      # 130 columns of 1000 rows
    ("=1:5000", "#SIZE! range exceeds 100000 cells"),    # 5000 rows of 26 columns
    ("=A1:XFD1048576", "#SIZE! range exceeds 100000 cells"),
    ("=A1:MWLQKWV4294967295", "#SIZE! range exceeds 100000 cells"),
    ("=SEQUENCE(100000)+TRANSPOSE(SEQUENCE(2))", "#SIZE! broadcast result exceeds 100000 cells"),
    ("=SEQUENCE(100000)=TRANSPOSE(SEQUENCE(2))",
     "#SIZE! comparison result exceeds 100000 cells"),
    ("=IF(SEQUENCE(1000), TRANSPOSE(SEQUENCE(1000)), 0)", "#SIZE! IF result exceeds 100000 cells"),
#Parse errors keep their text.
    ("=", "Unexpected token: Eof ()"),
    ("=1e3", "Unexpected token: E3"),
    ("=SUM(1", "Expected RParen but got Eof"),
    ("='abc", "Unterminated string"),
    ("=#VALUE!", "Unexpected character: ! at position 6"),
    ("=1 2", "Unexpected token: 2"),
    ("={1,2;3}", "Array literal rows have inconsistent widths (row 1 has 1, row 0 has 2)"),
    ("=A99999999999", "Invalid cell reference: A99999999999"),
])
def test_failures(formula, message):
    with pytest.raises(ValueError) as info:
        tabrix.evaluate(formula)
    assert str(info.value) == message


def test_oversized_array_literal():
    with pytest.raises(ValueError, match=r"^#SIZE! array literal exceeds 100000 cells$"):
        tabrix.evaluate("={" + ",".join(["1"] * 100001) + "}")
    assert tabrix.evaluate("={" + ",".join(["7"] * 100000) + "}") == "7"


TOO_DEEP = "Formula nests too deeply (more than 1000 levels)"


@pytest.mark.parametrize("formula", [
    "=" + "(" * 100000 + "1" + ")" * 100000,
    "=" + "-" * 100000 + "1",
    "=" + "SUM(" * 100000 + "1" + ")" * 100000,
    "=" + "{" * 100000 + "1" + "}" * 100000,
    "=" + "(" * 1000 + "1" + ")" * 1000,
])
def test_deep_nesting_is_refused(formula):
    with pytest.raises(ValueError) as info:
        tabrix.evaluate(formula)
    assert str(info.value) == TOO_DEEP


@pytest.mark.parametrize("formula, expected", [
    ("=" + "(" * 999 + "1" + ")" * 999, "1"),
    ("=" + "-" * 998 + "1", "1"),
    ("=" + "SUM(1+" * 998 + "1" + ")" * 998, "999"),
    ("=1" + "+1" * 199999, "200000"),                 # a 200000-deep operator chain
    ("=1" + "=1" * 199999, "TRUE"),
    ("=" + "1^" * 100000 + "1", "1"),
])
def test_deep_but_allowed(formula, expected):
    assert tabrix.evaluate(formula) == expected


@pytest.mark.parametrize("arg", [1, None, b"=1", ["=1"]])
def test_argument_type(arg):
    with pytest.raises(TypeError, match="^argument 'formula': "):
        tabrix.evaluate(arg)


def test_unencodable_text_is_a_value_error():
#Lone surrogates cannot be encoded as UTF - 8; the failure is a ValueError subclass.
    with pytest.raises(ValueError):
        tabrix.evaluate('="\ud800"')


def test_no_reference_leaks_on_failure():
    formula = "=1/0"
    before = sys.getrefcount(formula)
    for _ in range(100):
        with pytest.raises(ValueError):
            tabrix.evaluate(formula)
    assert sys.getrefcount(formula) == before
